#pragma once
// A display list of face batches (mesh/FaceBatches.h) for the OpenGL 1.1 viewers: per batch,
// what the viewer binds for its material, then one glDrawArrays of its triangles; and a
// second list of the faces' outlines as lines, for a wireframe. The vertex arrays are read
// when the lists are compiled, so the driver keeps its own copy and a frame replays a list
// with one call.
//
// The outlines are lines rather than the triangles drawn in line mode with edge flags:
// Mesa's software rasterizer drew nothing at all for edge-flagged triangles compiled into
// a display list.
//
// Runs on the window thread with the viewer's context current.

#include <cstdint>
#include <functional>

#include "mesh/FaceBatches.h"

class QOpenGLFunctions_1_1;

class TFaceBatchList {
public:
  explicit TFaceBatchList(QOpenGLFunctions_1_1* gl) : m_gl(gl) {}
  ~TFaceBatchList();  // needs the context current, as the viewers' destructors make it
  TFaceBatchList(const TFaceBatchList&) = delete;
  TFaceBatchList& operator=(const TFaceBatchList&) = delete;

  // Compiles `batches` into the list (replacing what it held). `bind` runs at the start of
  // each batch that draws anything, inside the list, so the texture binds it makes are
  // compiled with it.
  void Compile(const TFaceBatches& batches, const std::function<void(const TFaceBatch&)>& bind);
  // Replays the faces; nothing before the first Compile.
  void Draw() const;
  // Replays the outlines of the faces (texturing is the caller's); nothing before the first
  // Compile.
  void DrawOutlines() const;
  bool Compiled() const { return m_list != 0; }

private:
  QOpenGLFunctions_1_1* m_gl;
  uint32_t m_list = 0;  // the faces, and at m_list + 1 the outlines
};
