// The executable module's COM lifetime, switch handling and message loop.
#include "framework/com/module.h"

#include <objbase.h>

namespace framework {

CAtlExeModuleBase::CAtlExeModuleBase()
    : comInit_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

CAtlExeModuleBase::~CAtlExeModuleBase() {
    // S_FALSE (already initialised on this thread) also takes a count to give back.
    if (SUCCEEDED(comInit_)) CoUninitialize();
}

int CAtlExeModuleBase::Run() {
    return Run(GetCommandLineA());
}

int CAtlExeModuleBase::Run(std::string_view commandLine) {
    if (FAILED(comInit_)) return -1;
    switch (framework::FindRegistrationSwitch(commandLine)) {
        case framework::RegistrationSwitch::Register:
            return static_cast<int>(RegisterServer());
        case framework::RegistrationSwitch::Unregister:
            return static_cast<int>(UnregisterServer());
        case framework::RegistrationSwitch::None:
            break;
    }
    RunMessageLoop();
    return 0;
}

void CAtlExeModuleBase::RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace framework
