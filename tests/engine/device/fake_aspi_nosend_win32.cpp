// An ASPI library that lacks SendASPI32Command.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo() { return (1u << 8) | 1u; }
