// Time per call of ExpandString on short, long and pathological texts.
//
//   cmake --preset release && cmake --build --preset release --target expand_bench
//   build/release/bin/expand_bench
#include <stdio.h>

#include <chrono>
#include <string>

#include "objects/InstObjDefine.h"
#include "script/Installer.h"

namespace
{
void Define(CInstaller& script, const std::string& name, const std::string& value)
{
    CInstObjDefine* define = new CInstObjDefine;
    define->SetVariable(name.c_str(), value.c_str());
    script.m_DefineList.AddTail(define);
}

std::string Repeat(const std::string& s, int n)
{
    std::string r;
    for (int i = 0; i < n; i++)
        r += s;
    return r;
}

void Time(CInstaller& script, const char* what, const std::string& text)
{
    int nCalls = 0;
    int r = 0;
    auto t0 = std::chrono::steady_clock::now();
    double seconds = 0;
    do
    {
        CString s(text.c_str(), (int)text.size());
        r = script.ExpandString(s);
        nCalls++;
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    } while (seconds < 0.2);
    printf("%-58s result %2d  %10.2f us per call\n", what, r, seconds / nCalls * 1e6);
}
}  // namespace

int main()
{
    CInstaller script;
    Define(script, "WinDir", "C:\\Windows");
    Define(script, "Long", std::string(1000, 'L'));
    Define(script, "E", "");
    Define(script, "A", "a");
    Define(script, "Ping", "<Pong>");
    Define(script, "Pong", "<Ping>");
    Time(script, "<WinDir>\\System32\\saver.scr", "<WinDir>\\System32\\saver.scr");
    Time(script, "100,000 characters, no reference", std::string(100000, 'x'));
    Time(script, "10,000 x <Long> (1000-character value)", Repeat("<Long>", 10000));
    Time(script, "10,000 x <E> (empty) + <A>", Repeat("<E>", 10000) + "<A>");
    Time(script, "5,000 x <Ping><Pong> (values name each other)", Repeat("<Ping><Pong>", 5000));

    CInstaller many;
    std::string text;
    for (int i = 0; i < 10000; i++)
    {
        std::string name = "V" + std::to_string(i);
        Define(many, name, "v");
        text += "<" + name + ">";
    }
    Time(many, "10,000 distinct names among 10,000 defines", text);
    return 0;
}
