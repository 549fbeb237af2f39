// The base tools library as the server and the shared library call it: assertions, the
// log, streams with commit and gzip modes, directories, Base64, dump-line text helpers and
// local time. Include this one header.
#pragma once

#include "outside/assert_log.h"
#include "outside/base64.h"
#include "outside/base_tools_text.h"
#include "outside/base_tools_time.h"
#include "outside/log_printf.h"
#include "outside/system_directories.h"
#include "outside/tool_file.h"
#include "outside/tool_file_directories.h"
