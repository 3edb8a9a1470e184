// The owner of a BSTR and the conversions between BSTRs and 8-bit text.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "framework/handles.h"

// Inline, so that each binary carries only the conversions it calls.
namespace framework {

using Bstr = ClosedHandle<BSTR, &SysFreeString>;

// The text in the ANSI code page as a new BSTR; an empty BSTR when the conversion fails, and
// none when there is no memory for it.
inline Bstr BstrFromAnsi(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    Bstr bstr(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
    if (bstr && length > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bstr.Get(),
                            length);
    }
    return bstr;
}

// The BSTR's text in the code page; empty for a null or empty BSTR or a failed conversion.
inline std::string TextFromBstr(BSTR text, UINT codePage) {
    const int length = static_cast<int>(SysStringLen(text));
    if (length == 0) return {};
    const int size = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text, length, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

}  // namespace framework
