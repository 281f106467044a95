// Compiled only to make the test programs' precompiled GoogleTest and
// GoogleMock headers (tests/support/CMakeLists.txt).
