// The export scene for Assimp's writers (see AiScene.h).
#include "interchange/AiScene.h"

#include <assimp/postprocess.h>

#include <algorithm>
#include <assimp/Exporter.hpp>
#include <cstring>

std::unique_ptr<aiScene> MakeAiScene(const TExportScene& scene) {
  const TExportFormat* format = FindExportFormat(scene.FormatId);
  const bool flipNormals = format && format->FlipNormals;
  auto out = std::make_unique<aiScene>();
  // The FBX writer states its unit from this: the game's unit is one metre, so that the
  // importer (which applies a file's unit) reads the model back at its size, not a hundredth.
  out->mMetaData = aiMetadata::Alloc(1);
  out->mMetaData->Set(0, "UnitScaleFactor", 100.0);
  out->mRootNode = new aiNode("tessavor");

  out->mNumMaterials = static_cast<unsigned>(scene.Materials.size());
  out->mMaterials = new aiMaterial*[std::max<size_t>(scene.Materials.size(), 1)]();
  for (size_t i = 0; i < scene.Materials.size(); ++i) {
    auto* material = new aiMaterial();
    out->mMaterials[i] = material;
    const aiString name(scene.Materials[i].Name);
    material->AddProperty(&name, AI_MATKEY_NAME);
    const aiColor3D white(1.0f, 1.0f, 1.0f);
    material->AddProperty(&white, 1, AI_MATKEY_COLOR_DIFFUSE);
    if (!scene.Materials[i].Texture.empty()) {
      const aiString texture(scene.Materials[i].Texture);
      material->AddProperty(&texture, AI_MATKEY_TEXTURE_DIFFUSE(0));
    }
  }

  if (!scene.Embedded.empty()) {
    out->mNumTextures = static_cast<unsigned>(scene.Embedded.size());
    out->mTextures = new aiTexture*[scene.Embedded.size()]();
    for (size_t i = 0; i < scene.Embedded.size(); ++i) {
      const TExportPicture& picture = scene.Embedded[i];
      auto* t = new aiTexture();
      out->mTextures[i] = t;
      const size_t size = picture.Png.size();
      // A compressed picture: mWidth is its byte count, mHeight 0.
      t->mWidth = static_cast<unsigned>(size);
      t->mHeight = 0;
      t->pcData = new aiTexel[(size + sizeof(aiTexel) - 1) / sizeof(aiTexel)];
      if (size > 0) std::memcpy(t->pcData, picture.Png.data(), size);
      std::strncpy(t->achFormatHint, "png", sizeof t->achFormatHint - 1);
      t->mFilename = aiString(picture.FileName);
    }
  }

  const size_t meshes = scene.Meshes.size();
  out->mNumMeshes = static_cast<unsigned>(meshes);
  out->mMeshes = new aiMesh*[std::max<size_t>(meshes, 1)]();
  out->mRootNode->mNumMeshes = out->mNumMeshes;
  out->mRootNode->mMeshes = new unsigned[std::max<size_t>(meshes, 1)];
  for (size_t i = 0; i < meshes; ++i) {
    const TExportMesh& in = scene.Meshes[i];
    auto* mesh = new aiMesh();
    out->mMeshes[i] = mesh;
    out->mRootNode->mMeshes[i] = static_cast<unsigned>(i);
    mesh->mName = aiString(in.Name);
    mesh->mMaterialIndex = in.Material;
    const size_t corners = in.Positions.size();
    mesh->mNumVertices = static_cast<unsigned>(corners);
    mesh->mVertices = new aiVector3D[corners];
    mesh->mNormals = new aiVector3D[corners];
    mesh->mTextureCoords[0] = new aiVector3D[corners];
    mesh->mNumUVComponents[0] = 2;
    for (size_t k = 0; k < corners; ++k) {
      const TPoint3& p = in.Positions[k];
      const TPoint3& n = in.Normals[k];
      mesh->mVertices[k] = aiVector3D(p.x, p.y, p.z);
      mesh->mNormals[k] = flipNormals ? aiVector3D(-n.x, -n.y, -n.z) : aiVector3D(n.x, n.y, n.z);
      mesh->mTextureCoords[0][k] = aiVector3D(in.Uvs[2 * k], in.Uvs[2 * k + 1], 0.0f);
    }
    mesh->mNumFaces = static_cast<unsigned>(in.FaceSizes.size());
    mesh->mFaces = new aiFace[std::max<size_t>(in.FaceSizes.size(), 1)];
    unsigned v = 0;
    for (size_t f = 0; f < in.FaceSizes.size(); ++f) {
      aiFace& face = mesh->mFaces[f];
      face.mNumIndices = in.FaceSizes[f];
      face.mIndices = new unsigned[face.mNumIndices];
      for (unsigned c = 0; c < face.mNumIndices; ++c) face.mIndices[c] = v++;
      mesh->mPrimitiveTypes |=
          face.mNumIndices == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
    }
  }
  return out;
}

void WriteWithAssimp(const TExportScene& scene) {
  const TExportFormat* format = FindExportFormat(scene.FormatId);
  if (!format) throw EInterchange("No writer for the format \"" + scene.FormatId + "\"");
  const std::unique_ptr<aiScene> ai = MakeAiScene(scene);
  Assimp::Exporter exporter;
  const unsigned steps = format->Triangles ? aiProcess_Triangulate : 0u;
  if (exporter.Export(ai.get(), scene.FormatId, scene.FileName, steps) != AI_SUCCESS) {
    std::string reason = exporter.GetErrorString();
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    throw EInterchange(reason.empty() ? "Assimp gave no reason" : reason);
  }
}
