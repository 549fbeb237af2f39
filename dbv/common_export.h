// The export macro of the shared library libCommon.so. Everything in the library is hidden
// unless marked COMMON_EXPORT: classes (`class COMMON_EXPORT Name_c`) and free functions
// that applications call. The library's own code and its static tests see the same marks.
#pragma once

#define COMMON_EXPORT __attribute__((visibility("default")))
