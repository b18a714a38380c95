#pragma once
// The export scene as Assimp's writers take it (run in the model writer's child process,
// and by the tests that hold our OBJ writer to Assimp's). Polygons stay polygons; the
// writer triangulates for formats that hold triangles only (TExportFormat::Triangles).
// The scene carries an empty metadata block: some of Assimp's writers read it without
// checking that it exists.

#include <assimp/scene.h>

#include <memory>

#include "interchange/ExportScene.h"

std::unique_ptr<aiScene> MakeAiScene(const TExportScene& scene);

// Runs Assimp's writer of scene.FormatId on `scene`, writing scene.FileName and its
// companions into the current folder. Raises EInterchange with Assimp's reason.
void WriteWithAssimp(const TExportScene& scene);
