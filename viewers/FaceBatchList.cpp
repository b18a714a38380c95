#include "viewers/FaceBatchList.h"

#include <QOpenGLFunctions_1_1>
#include <vector>

TFaceBatchList::~TFaceBatchList() {
  if (m_list != 0) m_gl->glDeleteLists(m_list, 2);
}

void TFaceBatchList::Compile(const TFaceBatches& batches,
                             const std::function<void(const TFaceBatch&)>& bind) {
  QOpenGLFunctions_1_1& gl = *m_gl;
  if (m_list == 0) m_list = gl.glGenLists(2);
  // Client state is not compiled into lists: the arrays are set here and read by the
  // glDrawArrays calls while the list is compiled.
  const bool any = batches.VertexCount() > 0;
  if (any) {
    gl.glEnableClientState(GL_VERTEX_ARRAY);
    gl.glEnableClientState(GL_NORMAL_ARRAY);
    gl.glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    gl.glVertexPointer(3, GL_FLOAT, 0, batches.Positions.data());
    gl.glNormalPointer(GL_FLOAT, 0, batches.Normals.data());
    gl.glTexCoordPointer(2, GL_FLOAT, 0, batches.TexCoords.data());
  }
  gl.glNewList(m_list, GL_COMPILE);
  for (const TFaceBatch& batch : batches.Batches) {
    if (batch.VertexCount == 0) continue;
    bind(batch);
    gl.glDrawArrays(GL_TRIANGLES, batch.FirstVertex, batch.VertexCount);
  }
  gl.glEndList();
  const std::vector<uint32_t> outlines = OutlineIndices(batches);
  gl.glNewList(m_list + 1, GL_COMPILE);
  if (!outlines.empty()) {
    gl.glDrawElements(GL_LINES, static_cast<GLsizei>(outlines.size()), GL_UNSIGNED_INT,
                      outlines.data());
  }
  gl.glEndList();
  if (any) {
    gl.glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    gl.glDisableClientState(GL_NORMAL_ARRAY);
    gl.glDisableClientState(GL_VERTEX_ARRAY);
  }
}

void TFaceBatchList::Draw() const {
  if (m_list != 0) m_gl->glCallList(m_list);
}

void TFaceBatchList::DrawOutlines() const {
  if (m_list != 0) m_gl->glCallList(m_list + 1);
}
