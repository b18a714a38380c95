// Imported materials' pictures into the material folder (see ImportTextures.h).
#include "interchange/ImportTextures.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "images/MatGraphic.h"
#include "images/TextureSource.h"
#include "mesh/Materials.h"
#include "util/FileIo.h"
#include "util/FileSet.h"
#include "util/Isolate.h"
#include "util/StrTools.h"

namespace {

namespace fs = std::filesystem;

void PutLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A file the model names, under the model's folder only: a name that leads elsewhere
// ("../../etc/x.png", "/home/x.png") is looked for as its last part beside the model.
std::string ResolvePicture(const std::string& folder, std::string name) {
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  fs::path relative = fs::path(name).lexically_normal();
  if (relative.is_absolute() || relative.empty() || *relative.begin() == "..")
    relative = relative.filename();
  return (fs::path(folder) / relative).string();
}

// A link beside the model may still lead out of its folder, as the reader's references may
// not: the picture is then not read.
bool InModelFolder(const std::string& folder, const std::string& file) {
  std::error_code ec;
  const fs::path inside = fs::weakly_canonical(fs::absolute(folder, ec), ec);
  if (ec) return false;
  const fs::path resolved = fs::weakly_canonical(fs::absolute(file, ec), ec);
  if (ec) return false;
  const auto [end, at] =
      std::mismatch(inside.begin(), inside.end(), resolved.begin(), resolved.end());
  return end == inside.end() && at != resolved.end();
}

// An embedded picture goes to the decoder as a private temporary file, removed after.
class TTemporaryPicture {
public:
  TTemporaryPicture(const std::string& bytes, const std::string& hint)
      : m_file(TPrivateTemp::TKind::File, "picture", Ending(hint)) {
    if (!WriteAllToFd(m_file.Fd(), bytes.data(), bytes.size()))
      throw EInOutError("Cannot write the embedded picture to " + m_file.Path());
  }
  TTemporaryPicture(const TTemporaryPicture&) = delete;
  TTemporaryPicture& operator=(const TTemporaryPicture&) = delete;
  const std::string& Name() const { return m_file.Path(); }

private:
  // The file's format hint, when it is a plain word, tells the decoder what it reads.
  static std::string Ending(const std::string& hint) {
    const bool plain =
        !hint.empty() && hint.size() <= 7 && std::all_of(hint.begin(), hint.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) != 0;
        });
    return plain ? "." + hint : ".png";
  }
  TPrivateTemp m_file;
};

void LoadPicture(const TSceneTexture& texture, const std::string& file,
                 const TForeignPictureLoader& loader, TBitmap& bitmap) {
  const std::string ext = fs::path(file).extension().string();
  if (texture.Embedded.empty() && (ext == ".mat" || ext == ".gct")) {
    LoadTextureFile(file, bitmap);  // the core's own pictures
    return;
  }
  if (!loader) throw EInvalidGraphic("no picture decoder in this program");
  if (texture.Embedded.empty()) {
    loader(file, bitmap);
  } else {
    const TTemporaryPicture picture(texture.Embedded, texture.Hint);
    loader(picture.Name(), bitmap);
  }
}

// The texture a number already has: its ".gct" (which the import never writes), or its
// ".mat" when the ".bmp" is there too. A lone ".mat" or ".bmp" (an import killed between the
// two) is no texture, so the next import makes the pair whole.
std::string WholeTexture(const std::string& folder, int32_t mat) {
  static constexpr const char* kMat[] = {".mat"};
  if (std::string gct = FindMaterialTexture(folder, mat, kCompressedTextureExtensions);
      !gct.empty())
    return gct;
  std::string matFile = FindMaterialTexture(folder, mat, kMat);
  if (matFile.empty() || FindMaterialTexture(folder, mat, kPictureTextureExtensions).empty())
    return {};
  return matFile;
}

// The ".mat" and ".bmp" of one picture, both or neither: both are made in full before either
// is put in place, so a full disk leaves the folder as it was.
void WriteTexturePair(TMATGraphic& picture, const std::string& matFile,
                      const std::string& bmpFile) {
  std::vector<uint8_t> matBytes;
  {
    // The MAT writer writes files only; its file is made in a private folder first.
    const TPrivateTemp scratch(TPrivateTemp::TKind::Folder, "texture");
    const std::string made = scratch.Path() + "/picture.mat";
    picture.SaveMatFile(made);
    matBytes = ReadWholeFile(made);
  }
  const std::string bmp = EncodeBmp24(picture);
  TAtomicFileWriter matWriter(matFile), bmpWriter(bmpFile);
  matWriter.Write(matBytes.data(), matBytes.size());
  bmpWriter.Write(bmp.data(), bmp.size());
  CommitTogether({&bmpWriter, &matWriter});
}

}  // namespace

void AttachTextures(TImportedMesh& mesh, const TGatheredScene& scene, const TImportReport& report,
                    const std::string& modelPath) {
  mesh.ModelFolder = fs::path(modelPath).parent_path().string();
  if (mesh.ModelFolder.empty()) mesh.ModelFolder = ".";
  for (size_t m = 0; m < scene.Textures.size() && m < report.Materials.size(); ++m) {
    const TSceneTexture& t = scene.Textures[m];
    if (t.Path.empty() && t.Embedded.empty()) continue;
    mesh.Textures.emplace_back(report.Materials[m].second, t);
  }
}

void WriteImportTextures(const TImportedMesh& mesh, const TImportOptions& options,
                         TImportReport& report) {
  if (options.MaterialFolder.empty()) return;
  for (const auto& [mat, texture] : mesh.Textures) {
    const std::string digits = MaterialIdText(mat);
    const std::string matFile = options.MaterialFolder + digits + ".mat";
    const std::string bmpFile = options.MaterialFolder + digits + ".bmp";
    const std::string source = texture.Embedded.empty()
                                   ? ResolvePicture(mesh.ModelFolder, texture.Path)
                                   : "the picture embedded in the file";
    const std::string existing = WholeTexture(options.MaterialFolder, mat);
    if (!existing.empty() && !options.ReplaceTextures) {
      report.Notes.push_back("Texture " + digits + " kept: " + QuotePathForMessage(existing) +
                             " exists (--replace-textures replaces it)");
      continue;
    }
    try {
      if (texture.Embedded.empty() && !InModelFolder(mesh.ModelFolder, source))
        throw EInvalidGraphic("it lies outside the model's folder");
      TBitmap bitmap;
      LoadPicture(texture, source, options.LoadForeignPicture, bitmap);
      if (bitmap.Empty()) throw EInvalidGraphic("an empty picture");
      TMATGraphic picture;
      static_cast<TBitmap&>(picture) = bitmap;
      WriteTexturePair(picture, matFile, bmpFile);
      report.Notes.push_back("Texture " + digits + " written: " + QuotePathForMessage(matFile) +
                             " and .bmp from " + QuotePathForMessage(source));
    } catch (const Exception& e) {
      report.Notes.push_back("Texture " + digits + " not written: " + QuotePathForMessage(source) +
                             ": " + e.what());
    }
  }
}

void MakeTextureFolder(const TImportedMesh& mesh, const TImportOptions& options) {
  if (mesh.Textures.empty() || options.MaterialFolder.empty()) return;
  const size_t slash = options.MaterialFolder.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return;  // the current folder, or the root
  const std::string folder = options.MaterialFolder.substr(0, slash);
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder)) {
    throw EInterchange("Cannot make the texture folder \"" + folder +
                       "\": " + (ec ? ec.message() : std::string("not a folder")) +
                       "; nothing was imported");
  }
}

std::string EncodeBmp24(const TBitmap& bitmap) {
  const auto width = static_cast<uint32_t>(bitmap.Width());
  const auto height = static_cast<uint32_t>(bitmap.Height());
  const uint32_t row = (width * 3 + 3) & ~3u;
  std::string out;
  out.reserve(54 + size_t{row} * height);
  out += "BM";
  PutLe(out, 54 + row * height, 4);
  PutLe(out, 0, 4);
  PutLe(out, 54, 4);
  PutLe(out, 40, 4);
  PutLe(out, width, 4);
  PutLe(out, height, 4);
  PutLe(out, 1, 2);
  PutLe(out, 24, 2);
  PutLe(out, 0, 4);
  PutLe(out, row * height, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  // Bottom row first, blue, green, red.
  for (uint32_t y = height; y-- > 0;) {
    const size_t start = out.size();
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t r = 0, g = 0, b = 0;
      bitmap.GetRgb(static_cast<int>(x), static_cast<int>(y), r, g, b);
      out += static_cast<char>(b);
      out += static_cast<char>(g);
      out += static_cast<char>(r);
    }
    out.resize(start + row, '\0');
  }
  return out;
}
