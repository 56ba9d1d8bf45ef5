// lumarel-reg, the command-line counterpart of "reg query / add / delete" for the Linux hive:
//   lumarel-reg query  KEY [/v NAME]
//   lumarel-reg add    KEY [/v NAME] [/t TYPE] [/d DATA] [/nonul]
//   lumarel-reg delete KEY [/v NAME]
// KEY is a path below HKEY_CURRENT_USER, with or without a leading "HKCU\" or
// "HKEY_CURRENT_USER\". TYPE is REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY,
// REG_DWORD or a type number; text is stored with its NUL unless /nonul is given (REG_MULTI_SZ
// takes "\0" between its strings); REG_DWORD takes decimal or 0x hex; REG_BINARY and numbered
// types take hex bytes. The hive is the one the program uses (LUMAREL_HIVE overrides it).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/hive_linux.h"

namespace lumarel::tools {

// Runs one command; output and errors go to the streams. Returns the exit code, 0 or 1.
int RunRegTool(platform::HiveRegistry& hive, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err);

}  // namespace lumarel::tools
