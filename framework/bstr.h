// The owner of a BSTR and the conversions between BSTRs and 8-bit text.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "framework/handles.h"

using Bstr = framework::ClosedHandle<BSTR, &SysFreeString>;

namespace framework {

// The text in the ANSI code page as a new BSTR; an empty BSTR when the conversion fails, and
// none when there is no memory for it.
Bstr BstrFromAnsi(const std::string& text);

// The BSTR's text in the code page; empty for a null or empty BSTR or a failed conversion.
std::string TextFromBstr(BSTR text, UINT codePage);

}  // namespace framework
