// The object the test programs' precompiled headers are made with (see
// tests/CMakeLists.txt); it has no code of its own.
