// Open commands that run through the command interpreter, shared by the command-line table and
// the launcher's runs through the real cmd. In a template and a line, CMD stands for cmd.exe and
// PROG for the browser (both paths without blanks); REF is the reference to the address's
// variable.
#pragma once

namespace common_testing {

struct InterpreterCase {
    const char* name;
    const char* commandTemplate;
    const char* url;
    const char* line;   // nullptr: nothing may be started
    const char* value;  // the variable's value, which is also what the browser receives
    bool endToEnd;      // also run through the real cmd
    const char* received = nullptr;        // the browser's last argument there, when not the value
    const char* rescannedValue = nullptr;  // the value for Wine's cmd, when not the same
};

inline constexpr InterpreterCase kInterpreterCases[] = {
    // Windows' cmd would also expand the %CMDCMDLINE:~-1% that Wine's leaves as it is.
    {"variables beside a valid escape", "CMD /c PROG %1",
     "http://127.0.0.1/zephlist.php?email=ann%40example.com&os=%OS%&q=%CMDCMDLINE:~-1%&echo",
     R"(CMD /c "PROG "REF"")",
     "http://127.0.0.1/"
     "zephlist.php?email=ann%40example.com&os=%25OS%25&q=%25CMDCMDLINE:~-1%25&echo",
     true},
    {"escapes the address had and those its blanks get", R"(CMD /c PROG "%1")",
     "http://127.0.0.1/a b%20c", R"(CMD /c "PROG "REF"")", "http://127.0.0.1/a%20b%20c", true},
    {"separators", "CMD /c PROG %1", "http://127.0.0.1/a?b=1&c=2|more<in>^x",
     R"(CMD /c "PROG "REF"")", "http://127.0.0.1/a?b=1&c=2|more<in>^x", true},
    {"delayed expansion", "CMD /V:ON /c PROG %1", "http://127.0.0.1/?x=!OS!&y=!USERNAME!",
     R"(CMD /V:ON /c "PROG "REF"")", "http://127.0.0.1/?x=%21OS%21&y=%21USERNAME%21", true},
    {"a variable that begins with a valid escape", R"(CMD /C PROG "%1")",
     "http://127.0.0.1/?d=%CD%&t=%DATE:~0,2%&e=%EA%", R"(CMD /C "PROG "REF"")",
     "http://127.0.0.1/?d=%CD%25&t=%DATE:~0,2%25&e=%EA%25", true, nullptr,
     "http://127.0.0.1/?d=%25CD%25&t=%25DATE:~0,2%25&e=%EA%25"},
    {"a variable that would give a quote, then a second command", "CMD /c PROG %1",
     "http://127.0.0.1/?x=%CMDCMDLINE:~-1%&echo", R"(CMD /c "PROG "REF"")",
     "http://127.0.0.1/?x=%25CMDCMDLINE:~-1%25&echo", false},
    {"a bare '%' at the end and before one hex digit", "CMD /c PROG %1",
     "http://127.0.0.1/?a=%4&b=%", R"(CMD /c "PROG "REF"")", "http://127.0.0.1/?a=%254&b=%25",
     false},
    {"no placeholder: the address follows in quotes", "CMD /c PROG",
     "http://127.0.0.1/?a=%OS%&echo", R"(CMD /c "PROG "REF"")", "http://127.0.0.1/?a=%25OS%25&echo",
     true},
    {"quoted program after /c", R"(CMD /c "PROG" %1)", "http://127.0.0.1/a?b=1&echo",
     R"(CMD /c ""PROG" "REF"")", "http://127.0.0.1/a?b=1&echo", true},
    {"switch glued to the quoted program", R"(CMD /c"PROG" %1)", "http://127.0.0.1/a?b=1&echo",
     R"(CMD /c""PROG" "REF"")", "http://127.0.0.1/a?b=1&echo", true},
    {"already quoted for cmd", R"(CMD /c ""PROG" "%1"")", "http://127.0.0.1/a?b=1&echo",
     R"(CMD /c ""PROG" "REF"")", "http://127.0.0.1/a?b=1&echo", true},
    {"/S /C, quoted, with more arguments", R"(CMD /S /C "PROG" "%1" -x)", "http://127.0.0.1/?a&b",
     R"(CMD /S /C ""PROG" "REF" -x")", "http://127.0.0.1/?a&b", false},
    {"/k and /r as /c", "CMD /Q /r PROG %1", "http://127.0.0.1/", R"(CMD /Q /r "PROG "REF"")",
     "http://127.0.0.1/", false},
    {"the address as the command: still one quoted argument", "CMD /c %1",
     "http://127.0.0.1/?a&echo", R"(CMD /c ""REF"")", "http://127.0.0.1/?a&echo", false},
    {"the address as the command cannot add one", "CMD /c %1 & PROG --after",
     "http://127.0.0.1/?a&record_args", R"(CMD /c ""REF" & PROG --after")",
     "http://127.0.0.1/?a&record_args", true, "--after"},
    {"cmd named without extension or path", "cmd /c prog %1", "http://127.0.0.1/%OS%",
     R"(CMD /c "prog "REF"")", "http://127.0.0.1/%25OS%25", false},
    {"a batch file", R"("C:\B\open.bat" "%1")", "http://127.0.0.1/?os=%OS%",
     R"("C:\B\open.bat" "REF")", "http://127.0.0.1/?os=%25OS%25", false},
    {"a command script, in any letter case", R"("C:\B\Open.Cmd" %1)", "http://127.0.0.1/%CD%",
     R"("C:\B\Open.Cmd" "REF")", "http://127.0.0.1/%CD%25", false, nullptr,
     "http://127.0.0.1/%25CD%25"},
    {"a script name with a trailing dot", R"("C:\B\open.bat." %1)", "http://127.0.0.1/!x!",
     R"("C:\B\open.bat." "REF")", "http://127.0.0.1/%21x%21", false},
    {"a script name with a trailing blank", R"("C:\B\open.bat " %1)", "http://127.0.0.1/",
     R"("C:\B\open.bat " "REF")", "http://127.0.0.1/", false},
    {"cmd without a command", "CMD %1", "http://127.0.0.1/", nullptr, "", false},
    {"the placeholder before the command", "CMD %1 /c PROG", "http://127.0.0.1/", nullptr, "",
     false},
    {"something but switches ahead of /c", R"(CMD "/x /c" /c PROG %1)", "http://127.0.0.1/",
     nullptr, "", false},
    {"the template names the variable itself", "CMD /c PROG %1 %tavrello_page_address%",
     "http://127.0.0.1/", nullptr, "", false},
    {"a quote left open around the address", R"(CMD /c "PROG" "%1)", "http://127.0.0.1/", nullptr,
     "", false},
};

}  // namespace common_testing
