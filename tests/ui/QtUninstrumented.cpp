// Under ThreadSanitizer: Qt's own libraries are not built with it, so the hand-offs inside them
// (the thread pool that converts images for drawing) are invisible to it and come out as races.
// Races in this program's code with no Qt frame on either side are still reported.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Widgets.so\n";
}
#endif
