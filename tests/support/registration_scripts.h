// Registration scripts of the shape the deliverables carry, with the placeholders they use and
// the texts that fill them in, for the script parser's and the registrar's tests alike.
#pragma once

namespace testing_support {

constexpr char kScriptAppId[] = "{EEC8985A-0BBA-4C00-8039-83C8FF96D600}";
constexpr char kScriptClsid[] = "{AAC92832-A14C-4DCC-BE2E-EEEED1E443E9}";
constexpr char kScriptLibId[] = "{6C2A9A37-810E-4AAC-A0CB-AC89C6BC40F5}";
constexpr char kScriptModule[] = "C:\\Program Files\\Orvek\\Corvane.dll";

// The application identifier kept under a key that unregistering leaves alone.
constexpr char kAppIdScript[] = R"(HKCR
{
    NoRemove AppID
    {
        '%APPID%' = s 'Corvane'
        'Corvane.DLL'
        {
            val AppID = s '%APPID%'
        }
    }
}
)";

// The class with its two program identifiers; tests quote its line numbers, so lines are only
// ever added at the end.
constexpr char kClassScript[] = R"(HKCR
{
    Corvane.TavrelloIE.1 = s 'CTavrelloIE Object'
    {
        CLSID = s '%CLSID%'
    }
    Corvane.TavrelloIE = s 'CTavrelloIE Object'
    {
        CLSID = s '%CLSID%'
        CurVer = s 'Corvane.TavrelloIE.1'
    }
    NoRemove CLSID
    {
        ForceRemove %CLSID% = s 'CTavrelloIE Object'
        {
            val AppID = s '%APPID%'
            ProgID = s 'Corvane.TavrelloIE.1'
            VersionIndependentProgID = s 'Corvane.TavrelloIE'
            ForceRemove 'Programmable'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'apartment'
            }
            'TypeLib' = s '%LIBID%'
        }
    }
}
)";

}  // namespace testing_support
