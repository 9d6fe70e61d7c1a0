// Measures Tiermo.exe from outside, as a user would meet it, and prints one
// "key value" line per figure for bench/run.sh to put in a table.
//
//   tiermo_bench startup RUNS TIERMO.EXE FLOOR.EXE
//       Process start to main dialog visible and answering, both programs
//       started the same way, alternately; RUNS timed runs of each after one
//       untimed warm-up run.
//   tiermo_bench drop RUNS TIERMO.EXE
//       Left-button release over notepad to notepad turning topmost.
//   tiermo_bench stability DRAGS OPENS TIERMO.EXE
//       Handle, GDI, USER and private-byte counts of Tiermo before and after
//       DRAGS drops and OPENS openings each of the Help window and About box.
#include "Driver.h"
#include "captions.h"
#include "product.h"
#include "resource.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using bench::kAboutCaption;
using bench::kFloorCaption;
using bench::kHelpCaption;
using bench::kTiermoCaption;
constexpr const char* kNotepadClass = "Notepad";

constexpr ULONG kSystemProcessInformation = 5;
constexpr int kStartTimeoutMs = 20000;
constexpr int kChangeTimeoutMs = 3000;
constexpr int kExitTimeoutMs = 5000;
constexpr UINT kAnswerTimeoutMs = 1000;
constexpr int kSettleMs = 300;
// Where the bench puts the two windows, apart from each other.
constexpr RECT kTiermoPlace{40, 40, 0, 0};
constexpr RECT kNotepadPlace{420, 120, 420 + 480, 120 + 360};
// Drags are short and quick; each step is still confirmed by the driver.
constexpr driver::DragPace kDragPace{3, 10, 40};

// High-resolution clock in milliseconds.
class Stopwatch {
public:
    Stopwatch()
    {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double ElapsedMs() const
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return double(now.QuadPart - start_.QuadPart) * 1000.0 / double(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

void Report(const std::string& key, double value) { std::printf("%s %.2f\n", key.c_str(), value); }
void Report(const std::string& key, const std::string& value)
{
    std::printf("%s %s\n", key.c_str(), value.c_str());
}

bool Answers(HWND hwnd)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &result) !=
           0;
}

// The visible, answering top-level window of pid with this caption, or null.
HWND AnsweringWindow(const char* caption, DWORD pid)
{
    HWND hwnd = driver::FindTopLevel(caption, nullptr, pid);
    return hwnd && IsWindowVisible(hwnd) && Answers(hwnd) ? hwnd : nullptr;
}

// Marks this version as already run, so that Tiermo opens no About box by itself.
bool StoreProgramVersion()
{
    return driver::WriteDword(HKEY_LOCAL_MACHINE, TIERMO_VERSION_KEY, TIERMO_VERSION_ENTRY,
                              TIERMO_VERSION);
}

void Close(driver::Process& process, HWND hwnd)
{
    if (hwnd)
        driver::PostClose(hwnd);
    if (!process.WaitForExit(kExitTimeoutMs))
        process.Terminate();
}

// One timed start; negative when the window did not come up.
double TimeStart(const std::string& exe, const char* caption)
{
    driver::Process process;
    Stopwatch watch;
    if (!process.Launch(exe))
        return -1.0;
    HWND hwnd = nullptr;
    double elapsed = -1.0;
    for (;;) {
        hwnd = AnsweringWindow(caption, process.Pid());
        if (hwnd) {
            elapsed = watch.ElapsedMs();
            break;
        }
        if (watch.ElapsedMs() > kStartTimeoutMs || !process.IsRunning())
            break;
        Sleep(1);
    }
    Close(process, hwnd);
    Sleep(kSettleMs);
    return elapsed;
}

int Startup(int runs, const std::string& tiermo, const std::string& floor)
{
    if (!StoreProgramVersion()) {
        std::fprintf(stderr, "cannot store the version value\n");
        return 1;
    }
    TimeStart(tiermo, kTiermoCaption);
    TimeStart(floor, kFloorCaption);
    std::vector<double> tiermoMs;
    std::vector<double> floorMs;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        const double t = TimeStart(tiermo, kTiermoCaption);
        const double f = TimeStart(floor, kFloorCaption);
        t >= 0 ? tiermoMs.push_back(t) : void(++failures);
        f >= 0 ? floorMs.push_back(f) : void(++failures);
    }
    Report("startup.runs", double(runs));
    Report("startup.failures", double(failures));
    Report("startup.tiermo_ms", Median(tiermoMs));
    Report("startup.floor_ms", Median(floorMs));
    return failures == 0 ? 0 : 1;
}

// Notepad placed at a fixed spot and Tiermo's main dialog beside it.
struct Scene {
    driver::Process notepad;
    driver::Process tiermo;
    HWND notepadWnd = nullptr;
    HWND tiermoWnd = nullptr;

    bool Open(const std::string& tiermoExe)
    {
        if (!StoreProgramVersion() || !notepad.Launch(driver::NotepadPath()))
            return false;
        notepadWnd = driver::WaitForWindow(nullptr, kNotepadClass, notepad.Pid(), kStartTimeoutMs);
        if (!notepadWnd)
            return false;
        SetWindowPos(notepadWnd, HWND_NOTOPMOST, kNotepadPlace.left, kNotepadPlace.top,
                     kNotepadPlace.right - kNotepadPlace.left,
                     kNotepadPlace.bottom - kNotepadPlace.top, SWP_NOACTIVATE);
        if (!tiermo.Launch(tiermoExe))
            return false;
        tiermoWnd = driver::WaitForWindow(kTiermoCaption, nullptr, tiermo.Pid(), kStartTimeoutMs);
        if (!tiermoWnd)
            return false;
        SetWindowPos(tiermoWnd, nullptr, kTiermoPlace.left, kTiermoPlace.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
        driver::Pause(kSettleMs);
        return Answers(tiermoWnd);
    }

    POINT Icon(int id) const { return driver::Center(driver::ControlRect(tiermoWnd, id)); }
    POINT Target() const
    {
        RECT rect = driver::WindowRect(notepadWnd);
        return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }
    bool TiermoAnswers() const { return Answers(tiermoWnd); }

    ~Scene()
    {
        Close(tiermo, tiermoWnd);
        Close(notepad, notepadWnd);
    }
};

void SendLeftUp()
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof(input));
}

// Presses on from and rests at to, leaving the release to the caller, who
// times it.
bool DragUpToRelease(POINT from, POINT to)
{
    if (!driver::PressAndCapture(from, kDragPace))
        return false;
    if (!driver::RestAt(to, kDragPace)) {
        driver::LeftUp();
        return false;
    }
    return true;
}

int DropLatency(int runs, const std::string& tiermoExe)
{
    Scene scene;
    if (!scene.Open(tiermoExe)) {
        std::fprintf(stderr, "cannot open notepad and Tiermo\n");
        return 1;
    }
    std::vector<double> latencies;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        SetWindowPos(scene.notepadWnd, HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        // A press on the icon within the double-click time of the one before
        // would be a double click, which starts no drag.
        driver::Pause(int(GetDoubleClickTime()) + kSettleMs);
        if (!DragUpToRelease(scene.Icon(IDC_TOP), scene.Target())) {
            std::fprintf(stderr, "drop %d: the pointer did not settle\n", i);
            ++failures;
            continue;
        }
        const Stopwatch watch;
        SendLeftUp();
        double elapsed = -1.0;
        while (watch.ElapsedMs() < kChangeTimeoutMs) {
            if (driver::IsTopmost(scene.notepadWnd)) {
                elapsed = watch.ElapsedMs();
                break;
            }
            Sleep(1);
        }
        if (elapsed < 0) {
            std::fprintf(stderr, "drop %d: notepad did not turn topmost\n", i);
            ++failures;
            continue;
        }
        latencies.push_back(elapsed);
    }
    SetWindowPos(scene.notepadWnd, HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Report("drop.runs", double(runs));
    Report("drop.failures", double(failures));
    Report("drop.median_ms", Median(latencies));
    if (!latencies.empty()) {
        Report("drop.min_ms", *std::min_element(latencies.begin(), latencies.end()));
        Report("drop.max_ms", *std::max_element(latencies.begin(), latencies.end()));
    }
    return failures == 0 ? 0 : 1;
}

struct Counts {
    DWORD handles = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    SIZE_T privateBytes = 0;
};

// Handle count of pid from the system's process list; Wine answers this one
// while its GetProcessHandleCount always gives 0.
DWORD HandleCountFromProcessList(DWORD pid)
{
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return 0;
    std::vector<BYTE> buffer(1 << 20);
    ULONG length = 0;
    if (query(kSystemProcessInformation, buffer.data(), ULONG(buffer.size()), &length) != 0)
        return 0;
    for (size_t offset = 0; offset + sizeof(SYSTEM_PROCESS_INFORMATION) <= buffer.size();) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[offset]);
        if (DWORD(ULONG_PTR(entry->UniqueProcessId)) == pid)
            return entry->HandleCount;
        if (entry->NextEntryOffset == 0)
            break;
        offset += entry->NextEntryOffset;
    }
    return 0;
}

Counts Measure(const driver::Process& process)
{
    Counts counts;
    if (!GetProcessHandleCount(process.Handle(), &counts.handles) || counts.handles == 0)
        counts.handles = HandleCountFromProcessList(process.Pid());
    counts.gdi = GetGuiResources(process.Handle(), GR_GDIOBJECTS);
    counts.user = GetGuiResources(process.Handle(), GR_USEROBJECTS);
    // Wine leaves PrivateUsage at 0 and reports the process's anonymous
    // memory as PagefileUsage, which Windows keeps equal to PrivateUsage.
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process.Handle(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory)))
        counts.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    return counts;
}

void ReportCounts(const char* when, const Counts& counts)
{
    const std::string prefix = std::string("stability.") + when + ".";
    Report(prefix + "handles", double(counts.handles));
    Report(prefix + "gdi", double(counts.gdi));
    Report(prefix + "user", double(counts.user));
    Report(prefix + "private_kb", double(counts.privateBytes) / 1024.0);
}

// Whether notepad shows the Z-order that a drop of icon id gives it.
bool HasDropEffect(const Scene& scene, int id)
{
    switch (id) {
    case IDC_TOP:
        return driver::IsTopmost(scene.notepadWnd);
    case IDC_BOTTOM:
        return driver::IsBottomMostVisible(scene.notepadWnd);
    default:
        return !driver::IsTopmost(scene.notepadWnd);
    }
}

// Drops icon id on notepad and waits until Tiermo has carried it out and is
// back in its message loop, so that the next drag starts from rest.
bool DropOnce(Scene& scene, int id)
{
    if (!driver::CarefulDrag(scene.Icon(id), scene.Target(), kDragPace))
        return false;
    return driver::WaitUntil([&] { return HasDropEffect(scene, id); }, kChangeTimeoutMs) &&
           scene.TiermoAnswers();
}

// Opens a box with the dialog's command and closes it again.
bool OpenAndClose(Scene& scene, WPARAM command, const char* caption)
{
    PostMessageA(scene.tiermoWnd, WM_COMMAND, command, 0);
    HWND box = driver::WaitForWindow(caption, nullptr, scene.tiermo.Pid(), kChangeTimeoutMs);
    if (!box)
        return false;
    driver::PostClose(box);
    return driver::WaitForWindowGone(box, kChangeTimeoutMs) && scene.TiermoAnswers();
}

int Stability(int drags, int opens, const std::string& tiermoExe)
{
    Scene scene;
    if (!scene.Open(tiermoExe)) {
        std::fprintf(stderr, "cannot open notepad and Tiermo\n");
        return 1;
    }
    // In this order every drop changes notepad's place visibly, so each one
    // can be waited for.
    constexpr int kIcons[] = {IDC_TOP, IDC_NORMAL, IDC_BOTTOM};
    constexpr int kWarmUp = 3;
    int failures = 0;
    // Warm up, so that what the first use loads once does not count as growth.
    for (int i = 0; i < kWarmUp; ++i)
        failures += DropOnce(scene, kIcons[i % 3]) ? 0 : 1;
    failures += OpenAndClose(scene, IDC_CMD_HELP, kHelpCaption) ? 0 : 1;
    failures += OpenAndClose(scene, IDC_CMD_APP_ABOUT, kAboutCaption) ? 0 : 1;
    driver::Pause(kSettleMs);
    const Counts start = Measure(scene.tiermo);

    int dragFailures = 0;
    for (int i = 0; i < drags; ++i) {
        if (!DropOnce(scene, kIcons[i % 3])) {
            std::fprintf(stderr, "drag %d: no effect\n", i);
            ++dragFailures;
        }
    }
    int openFailures = 0;
    for (int i = 0; i < opens; ++i) {
        openFailures += OpenAndClose(scene, IDC_CMD_HELP, kHelpCaption) ? 0 : 1;
        openFailures += OpenAndClose(scene, IDC_CMD_APP_ABOUT, kAboutCaption) ? 0 : 1;
    }
    driver::Pause(kSettleMs);
    const Counts end = Measure(scene.tiermo);

    Report("stability.drags", double(drags));
    Report("stability.opens", double(opens));
    Report("stability.warmup_failures", double(failures));
    Report("stability.drag_failures", double(dragFailures));
    Report("stability.open_failures", double(openFailures));
    Report("stability.running", scene.tiermo.IsRunning() && scene.TiermoAnswers() ? "yes" : "no");
    ReportCounts("start", start);
    ReportCounts("end", end);
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: tiermo_bench startup RUNS TIERMO.EXE FLOOR.EXE\n"
                         "       tiermo_bench drop RUNS TIERMO.EXE\n"
                         "       tiermo_bench stability DRAGS OPENS TIERMO.EXE\n");
    return 2;
}

int Count(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value > 0 && value <= 100000 ? int(value) : 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "startup" && argc == 5 && Count(argv[2]))
        return Startup(Count(argv[2]), argv[3], argv[4]);
    if (mode == "drop" && argc == 4 && Count(argv[2]))
        return DropLatency(Count(argv[2]), argv[3]);
    if (mode == "stability" && argc == 5 && Count(argv[2]) && Count(argv[3]))
        return Stability(Count(argv[2]), Count(argv[3]), argv[4]);
    return Usage();
}
