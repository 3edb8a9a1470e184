/* Prints what Windows' own check of a file's Authenticode signature (WinVerifyTrust) answers, as
   an HRESULT in hex: 00000000 for a trusted signature, 800B0100 (TRUST_E_NOSIGNATURE) for none,
   800B0109 (CERT_E_UNTRUSTEDROOT) for a signature from an authority this system does not trust.
     signature_probe.exe FILE */
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: signature_probe FILE\n");
        return 2;
    }
    WCHAR path[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path, MAX_PATH)) return 2;
    WINTRUST_FILE_INFO file;
    ZeroMemory(&file, sizeof file);
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path;
    WINTRUST_DATA check;
    ZeroMemory(&check, sizeof check);
    check.cbStruct = sizeof check;
    check.dwUIChoice = WTD_UI_NONE;
    check.fdwRevocationChecks = WTD_REVOKE_NONE;
    check.dwUnionChoice = WTD_CHOICE_FILE;
    check.pFile = &file;
    check.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &check);
    check.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &check);
    printf("%08lX\n", (unsigned long)result);
    return 0;
}
