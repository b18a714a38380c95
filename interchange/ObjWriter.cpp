// Our own OBJ writer (see ObjWriter.h).
#include "interchange/ObjWriter.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace {

// A position, normal or texture coordinate as a key. Keys are equal when their floats
// compare equal, as in the ordered maps Assimp's writer uses: 0 and -0 are one key.
struct TKey {
  float x, y, z;
  bool operator==(const TKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

uint32_t HashBits(float v) {
  v += 0.0f;  // -0 hashes as 0, since they compare equal
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

struct TKeyHash {
  size_t operator()(const TKey& k) const {
    uint64_t h = ((uint64_t{HashBits(k.x)} << 32) | HashBits(k.y)) * 0x9E3779B97F4A7C15ull;
    h ^= uint64_t{HashBits(k.z)} * 0xC2B2AE3D27D4EB4Full;
    // The low bits pick the slot: mix the high ones down (round numbers have no low bits).
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return static_cast<size_t>(h);
  }
};

// Numbers in order of first use, from 1; the first value seen of each key is the one written.
// Open addressing over a table at least twice the keys it may get: a node per key, as a
// standard map makes, cost more than all the rest of the writer.
class TIndexMap {
public:
  explicit TIndexMap(size_t expected) {
    size_t capacity = 16;
    while (capacity < 2 * expected) capacity *= 2;
    m_slots.assign(capacity, 0);
    m_mask = capacity - 1;
    m_keys.reserve(expected);
  }
  uint32_t Index(const TKey& key) {
    for (size_t at = TKeyHash()(key) & m_mask;; at = (at + 1) & m_mask) {
      const uint32_t slot = m_slots[at];
      if (slot == 0) {
        m_keys.push_back(key);
        m_slots[at] = static_cast<uint32_t>(m_keys.size());
        return m_slots[at];
      }
      if (m_keys[slot - 1] == key) return slot;
    }
  }
  const std::vector<TKey>& Keys() const { return m_keys; }

private:
  std::vector<uint32_t> m_slots;  // 0: empty; else the key's number
  size_t m_mask = 0;
  std::vector<TKey> m_keys;
};

void PutNumber(std::string& out, float v) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, double{v}, std::chars_format::general, 9);
  out.append(buf, res.ptr);
}

void PutCount(std::string& out, size_t v) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

// What the identity transform does to a point (a1*x + a2*y + a3*z + a4, in this order):
// a -0 component becomes 0. Written out so that the sum keeps Assimp's order of rounding.
TKey ThroughIdentity(const TPoint3& p) {
  const float one = 1.0f, zero = 0.0f;
  return {one * p.x + zero * p.y + zero * p.z + zero, zero * p.x + one * p.y + zero * p.z + zero,
          zero * p.x + zero * p.y + one * p.z + zero};
}
// The same for a normal, through the transform's 3x3 part (no translation term).
TKey NormalThroughIdentity(const TPoint3& n) {
  const float one = 1.0f, zero = 0.0f;
  return {one * n.x + zero * n.y + zero * n.z, zero * n.x + one * n.y + zero * n.z,
          zero * n.x + zero * n.y + one * n.z};
}

void PutList(std::string& out, const char* tag, const char* title, const std::vector<TKey>& keys) {
  out += "# ";
  PutCount(out, keys.size());
  out += title;
  out += '\n';
  for (const TKey& k : keys) {
    out += tag;
    PutNumber(out, k.x);
    out += ' ';
    PutNumber(out, k.y);
    out += ' ';
    PutNumber(out, k.z);
    out += '\n';
  }
  out += '\n';
}

}  // namespace

std::string ObjLibraryName(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  return (dot == std::string::npos ? name : name.substr(0, dot)) + ".mtl";
}

std::string ObjModelText(const TExportScene& scene, const std::string& fileName, bool withLibrary) {
  size_t corners = 0, faces = 0;
  for (const TExportMesh& m : scene.Meshes) {
    corners += m.Positions.size();
    faces += m.FaceSizes.size();
  }
  // Per corner its three indices in the order of the file.
  std::vector<uint32_t> indices;
  indices.reserve(3 * corners);
  TIndexMap positions(corners), uvs(corners), normals(corners);
  for (const TExportMesh& m : scene.Meshes) {
    for (size_t k = 0; k < m.Positions.size(); ++k) {
      indices.push_back(positions.Index(ThroughIdentity(m.Positions[k])));
      indices.push_back(uvs.Index({m.Uvs[2 * k], m.Uvs[2 * k + 1], 0.0f}));
      indices.push_back(normals.Index(NormalThroughIdentity(m.Normals[k])));
    }
  }

  std::string out;
  // About 40 bytes per listed value and 24 per face corner.
  out.reserve(256 + (positions.Keys().size() + uvs.Keys().size() + normals.Keys().size()) * 40 +
              corners * 24 + faces * 4 + scene.Meshes.size() * 80);
  out += "# Wavefront OBJ written by Tessavor\n\n";
  if (withLibrary) {
    out += "mtllib ";
    out += ObjLibraryName(fileName);
    out += "\n\n";
  }
  PutList(out, "v ", " vertex positions", positions.Keys());
  PutList(out, "vt ", " UV coordinates", uvs.Keys());
  PutList(out, "vn ", " vertex normals", normals.Keys());

  size_t at = 0;
  for (const TExportMesh& m : scene.Meshes) {
    out += "# Mesh '";
    out += m.Name;
    out += "' with ";
    PutCount(out, m.FaceSizes.size());
    out += " faces\n";
    if (!m.Name.empty()) {
      out += "g ";
      out += m.Name;
      out += '\n';
    }
    if (withLibrary) {
      out += "usemtl ";
      out += scene.Materials[m.Material].Name;
      out += '\n';
    }
    for (const uint32_t size : m.FaceSizes) {
      out += 'f';
      out += ' ';
      for (uint32_t c = 0; c < size; ++c, at += 3) {
        out += ' ';
        PutCount(out, indices[at]);
        out += '/';
        PutCount(out, indices[at + 1]);
        out += '/';
        PutCount(out, indices[at + 2]);
      }
      out += '\n';
    }
    out += '\n';
  }
  return out;
}

std::string ObjLibraryText(const TExportScene& scene) {
  std::string out = "# Wavefront OBJ material library written by Tessavor\n\n";
  for (const TExportMaterial& m : scene.Materials) {
    out += "newmtl ";
    out += m.Name;
    out += "\nKd 1 1 1\nillum 1\n";
    if (!m.Texture.empty()) {
      out += "map_Kd ";
      out += m.Texture;
      out += '\n';
    }
    out += '\n';
  }
  return out;
}
