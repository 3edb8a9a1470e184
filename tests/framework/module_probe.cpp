// A minimal executable on the framework's module, started by the module test as a process.
// Its registration hooks answer with distinct codes so that the exit code tells which ran.
#include <windows.h>

#include "framework/com/module.h"

namespace {

class ProbeModule : public framework::CAtlExeModuleT<ProbeModule> {
public:
    HRESULT RegisterServer() override { return 0x00000201; }
    HRESULT UnregisterServer() override { return 0x00000202; }
};

ProbeModule probeModule;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Without a switch the loop runs until this quit message.
    PostQuitMessage(0);
    return probeModule.Run();
}
