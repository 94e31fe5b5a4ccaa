// W7Taskbar: the run's progress on the program's taskbar button (Windows) or
// launcher entry (Linux desktops that read com.canonical.Unity.LauncherEntry).
//
// One implementation file per platform is chosen by CMake. Where the desktop
// offers nothing, InitializeTaskbarAPI reports false and the two setters
// report false and change nothing. Every call is made on the user-interface
// thread.
#pragma once

#include <cstdint>

namespace teebasket {

// The progress states of a taskbar button, in the order Windows lists them.
enum TTaskBarProgressState {
    tbpsNone,
    tbpsIndeterminate,
    tbpsNormal,
    tbpsError,
    tbpsPaused,
};

// The Windows flag (TBPF_*) of `state`: 0, 1, 2, 4 and 8.
unsigned TaskbarProgressFlag(TTaskBarProgressState state);

// Obtains the taskbar interface once; later calls return true without
// obtaining it again. False when the desktop offers no such interface.
bool InitializeTaskbarAPI();

// Sets the button's progress state. False when no interface is held or the
// desktop refused the call.
bool SetTaskbarProgressState(TTaskBarProgressState state);

// Shows `completed` of `total` on the button (normal progress). False when no
// interface is held or the desktop refused the call.
bool SetTaskbarProgressValue(std::uint64_t completed, std::uint64_t total);

// Clears any progress still shown and releases the interface; the program
// calls it once when it ends. Afterwards the setters report false until
// InitializeTaskbarAPI is called again.
void FinalizeTaskbarAPI();

#ifdef _WIN32
// The shell's side of the taskbar progress: ITaskbarList3. A test puts a
// recorder in its place to see the calls the window makes.
class TTaskbarShell {
  public:
    virtual ~TTaskbarShell() = default;
    // `window` is the native handle (HWND) of the window that owns the
    // button; `flag` a TBPF_* value (TaskbarProgressFlag).
    virtual bool SetProgressState(std::uintptr_t window, unsigned flag) = 0;
    virtual bool SetProgressValue(std::uintptr_t window, std::uint64_t completed,
                                  std::uint64_t total) = 0;
};

// Makes InitializeTaskbarAPI hold `shell` (not owned; it must outlive its
// use) instead of the shell's ITaskbarList3, until called again; nullptr
// brings the real one back. Releases whatever was held.
void UseTaskbarShell(TTaskbarShell* shell);
#endif

// The desktop entry the launcher progress is announced for.
inline constexpr const char* kLauncherAppUri = "application://teebasket.desktop";

}  // namespace teebasket
