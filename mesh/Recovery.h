#pragma once
// The recovery file: the editor's unsaved records, written a few seconds after each edit so
// that a crash or a power cut loses at most those seconds. It lives in the home folder
// beside the record files ("recovery.kvr") and is never one of them: the record files
// change only by Save.
//
// Layout (little-endian): the 8 bytes "TVRECOV" and 0x01; uint32 length of the model name
// and its UTF-8 bytes (at most kMaxRecoveryName); float radius; uint32 counts of VERT,
// VTNM, FVRT and FACE (each at most MeshCapacity); then the records of the four arrays as
// the record files hold them. Nothing may follow. A file that breaks any of this is refused
// whole (ERecovery naming what is wrong); nothing is made up from it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mesh/Snapshot.h"
#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(ERecovery);

constexpr const char* kRecoveryFile = "recovery.kvr";
constexpr uint32_t kMaxRecoveryName = 4096;

// What a recovery file holds: the model named in the title and the records, as a snapshot
// whose box and labels are worked out as Load works them out.
struct TRecovery {
  std::string ModelName;
  TMeshSnapshot Records;
};

std::vector<uint8_t> RecoveryBytes(const TMeshDocument& doc, const std::string& modelName);
TRecovery ParseRecovery(const uint8_t* data, size_t size);

// The file in the home folder, through the safe writer; a longer name is cut to
// kMaxRecoveryName bytes.
void WriteRecoveryFile(const TMeshDocument& doc, const std::string& modelName);
// nullopt when there is none; ERecovery (or EInOutError) when it cannot be used.
std::optional<TRecovery> ReadRecoveryFile();
bool RecoveryFileExists();
// Removes it; no error when there is none.
void RemoveRecoveryFile();
