// The module object of an executable: COM for the main thread for the life of the process,
// the registration switches of a local server, and the message loop.
//
//   class CZephlistModule : public CAtlExeModuleT<CZephlistModule> {
//   public:
//       HRESULT RegisterServer() override { ...write script entries, register type library... }
//       HRESULT UnregisterServer() override { ... }
//   };
//   CZephlistModule module;  // one static instance: constructed before WinMain runs
//   ... create windows ...
//   int exitCode = module.Run();
#pragma once

#include <windows.h>

#include <string_view>

#include "framework/registration/registration_switch.h"

namespace framework {

class CAtlExeModuleBase {
public:
    // Initialises COM for the calling thread as a single-threaded apartment; the outcome is
    // kept for Run.
    CAtlExeModuleBase();
    virtual ~CAtlExeModuleBase();
    CAtlExeModuleBase(const CAtlExeModuleBase&) = delete;
    CAtlExeModuleBase& operator=(const CAtlExeModuleBase&) = delete;

    HRESULT ComInitResult() const { return comInit_; }

    // -1 when COM could not be initialised. Else, with "RegServer" or "UnregServer" after a '-'
    // or '/' in the process command line, the matching hook's HRESULT (no loop). Else the
    // message loop runs until WM_QUIT and the result is 0.
    int Run();
    // The same on a given command line (the program path included).
    int Run(std::string_view commandLine);

    virtual HRESULT RegisterServer() = 0;
    virtual HRESULT UnregisterServer() = 0;

    // Gets, translates and dispatches the thread's messages until WM_QUIT or a failed get.
    virtual void RunMessageLoop();

private:
    HRESULT comInit_;
};

template <class T>
class CAtlExeModuleT : public CAtlExeModuleBase {};

}  // namespace framework
