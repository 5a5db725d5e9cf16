// The splash screen: a bitmap in a borderless, always-on-top window centred on the work area,
// optionally with a progress bar along its bottom edge, shown while the servers start. It keeps
// painting while the start-up and runner threads block: on Windows it has a thread and a message
// loop of its own; on Linux it lives on the UI thread, which never blocks.
#pragma once

#include <memory>
#include <string>

// The splash window's place for an image of `width` x `height` in the work area given by its
// edges: centred, also when the image is larger (then it starts left of and above the area).
struct SplashPlace {
    int left;
    int top;
};
SplashPlace CenterInWorkArea(int areaLeft, int areaTop, int areaRight, int areaBottom, int width,
                             int height);

// The progress bar's rectangle in a client area of `width` x `height`: 4 pixels in from each
// side, 16 high, 4 above the bottom edge.
struct SplashBarRect {
    int x;
    int y;
    int width;
    int height;
};
SplashBarRect ProgressBarRect(int width, int height);

class SplashScreen {
public:
    SplashScreen();
    // Closes a splash screen that still shows.
    ~SplashScreen();
    SplashScreen(const SplashScreen&) = delete;
    SplashScreen& operator=(const SplashScreen&) = delete;

    // Starts the image library for the rest of the process (GDI+ on Windows; nothing on Linux).
    static void StartImageLibrary();

    // Makes the image object from a bitmap file and keeps it. A missing or unreadable file still
    // gives an (empty) image; false only when no image object can be made at all.
    bool LoadSplashImage(const std::string& file);

    // Shows the window once (later calls do nothing while it shows). Windows: starts the splash
    // thread and waits at most 5000 ms for its window.
    void Start();

    // Moves the bar to `percent`, making it on the first call. From any thread.
    void SetProgress(int percent);

    // Takes the window down, waiting at most 1000 ms. From any thread; nothing when it never
    // started.
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
