#pragma once
// Marks a function the executable exports under its plain C name, as the
// serial unit's port functions are.
#if defined(_WIN32)
#define WINSERIA_EXPORT __declspec(dllexport)
#else
#define WINSERIA_EXPORT __attribute__((visibility("default")))
#endif
