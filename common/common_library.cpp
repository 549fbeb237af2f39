// The shared library's own translation unit. Everything libCommon.so exports comes whole
// from the static libraries of its parts and of the stand-ins (see CMakeLists.txt); a
// shared library target still needs one source of its own.
