// qm_dbtool's load callback: it reads the program's own file header, declares the file's
// tables to the dictionary and tells the loader what follows the header. Registered under
// kLoadCallbackName with dbv::LoadDatabase_c (and so usable by dbv::DumpDatabase_c).
#pragma once

#include <string>

#include "dbtool/file_header.h"

namespace dbtool {

inline constexpr const char* kLoadCallbackName = "qm_dbtool";

// Registers the callback (a second call changes nothing).
void RegisterLoadCallback();

// The header the callback read last, and why the last read failed (empty when it did not).
const FileHeader& LastFileHeader();
const std::string& LastHeaderError();

}  // namespace dbtool
