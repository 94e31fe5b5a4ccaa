// StandardDescriptors: the three standard descriptors made safe to write to
// before a program opens anything (standard_descriptors_posix.cpp,
// standard_descriptors_windows.cpp).
//
// A program started with standard error closed (`prog 2>&-`) would hand
// descriptor 2 to the first file or socket it opens, and every message meant
// for standard error would then land in that file or go down that socket.
#pragma once

namespace teebasket {

// Which of the standard descriptors were closed when the program started,
// before they were opened on the null device: a program that writes its
// results to standard output must not take the null device for it.
struct ClosedStandardDescriptors {
    bool input = false;
    bool output = false;
    bool error = false;
};

// Opens the null device on each of descriptors 0, 1 and 2 that is closed,
// and says which were in `closed` when given. Call first thing in main,
// before any file or socket is opened. False when the null device cannot be
// opened: the program must then open nothing.
bool OpenClosedStandardDescriptors(ClosedStandardDescriptors* closed = nullptr);

}  // namespace teebasket
