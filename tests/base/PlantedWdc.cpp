// Exports what the real system DLL does. Being loaded at all is the fault the tests look for.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI WdcRunTaskAsInteractiveUser(LPCWSTR, LPCWSTR, DWORD) { return S_OK; }
