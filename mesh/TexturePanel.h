#pragma once
// The Texturing tab without its widgets: one face at a time on its 256 x 256 texture. The
// panel knows the face shown, which FVRT each of the boxes U1/V1 .. U4/V4 is bound to, the
// mouse in texture space and the corners picked with it; the tab draws what it says.
//
// Texture coordinates map to pixels as x = round(Tx × 256), y = 256 − round(Ty × 256) (v grows
// upward); the mouse maps back as u = x / 256, v = (256 − y) / 256.
//
// Choices for cases the tab's rules leave open:
//  - With fewer than two face lines there is no second line to start on: the tab shows no
//    face (empty boxes, no outline) and picking does nothing.
//  - A face of more than four corners is picked whole: the pick buffer grows to the face's
//    corner count; only the first four corners have boxes, every corner gets its value.
//  - Corners whose FVRT index lies outside the model get no box binding and no outline
//    point, and cannot be picked.

#include <string>
#include <vector>

#include "mesh/MeshDocument.h"

constexpr int kTextureImageSide = 256;

struct TTexturePixel {
  int X = 0;
  int Y = 0;
  bool operator==(const TTexturePixel&) const = default;
};

TTexturePixel TexturePixel(float u, float v);

// The material box's list: "0", then each face's Mat in the "00000000" form, each once, in
// face order.
std::vector<std::string> MaterialBoxEntries(const TMeshDocument& doc);

class TTexturePanel {
public:
  explicit TTexturePanel(TMeshDocument& doc) : m_doc(doc) {}

  float MouseU = 0.0f;
  float MouseV = 0.0f;
  std::vector<float> PickU = std::vector<float>(4);
  std::vector<float> PickV = std::vector<float>(4);
  int PickCount = 0;
  int PickTarget = 0;

  // The face shown, -1 for none.
  int Face() const { return m_face; }
  // The panel's part of a redraw: shows `face` (no face when it is none of the document's),
  // binds the boxes to its first four corners and restarts picking. False when no face.
  bool ShowFace(int face);
  void ShowNoFace() { ShowFace(-1); }

  // "FACE: " + f + ", FVRTs: " and each corner's FVRT index followed by a space.
  std::string FaceLabel() const;
  // Box k (0..3): Tx (U) or Ty (V) of its corner in the "0.000" form; "" when unbound.
  std::string BoxText(int k, bool isV) const;
  // U4/V4 serve faces of at least four corners.
  bool FourthBoxEnabled() const;
  // The face's outline through its corners in order, closed by the first; empty for none.
  std::vector<TTexturePixel> Outline() const;
  // The face's line as the tab's face list shows it: the face list's line, ", d=" included.
  std::string FaceLine() const;

  // The material box applied: the face's Mat := the text as an integer, 0 when it is not a
  // number. False when no face is shown.
  bool ApplyMaterial(const std::string& text);
  // Enter in box k: the text as a number into the bound float; a non-number raises the
  // conversion error and changes nothing. An unbound box writes nothing.
  void UvBoxEnter(int k, bool isV, const std::string& text);

  // The mouse at pixel (x, y) of the image: MouseU/MouseV, and the label text
  // "(x,y): Tx=u, Ty=v" with both rounded to thousandths in shortest form.
  std::string MouseMove(int x, int y);
  // A left click: the mouse becomes the next pick. Returns the picked points closed back to
  // the first (empty when no face is shown). When the pick completes the face's corners,
  // PickCount returns to 0 and every corner gets its pick (Completed() is then true).
  std::vector<TTexturePixel> LeftClick();
  bool Completed() const { return m_completed; }
  // A completed pick of corner k in the boxes' shortest general form.
  std::string PickText(int k, bool isV) const;

private:
  TMeshDocument& m_doc;
  int m_face = -1;
  int32_t m_boundFvrt[4] = {-1, -1, -1, -1};
  bool m_completed = false;
};
