// Linked into every program of a -DVISTREL_SANITIZE=ON build: the sanitizers' run-time options
// and the leaks that are not ours to fix. Options given in ASAN_OPTIONS, UBSAN_OPTIONS and
// LSAN_OPTIONS are read after these and win.

extern "C" {

// Stop at the first report: a report must end the test that caused it, never scroll past in
// a log of a run that still passes.
const char *__asan_default_options()
{
    return "halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1";
}

const char *__ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}

// A suppressed leak is not worth a line in a log that the end-to-end flows check.
const char *__lsan_default_options()
{
    return "print_suppressions=0";
}

// Third-party leaks only; each names the library and why it is not a fault of ours.
const char *__lsan_default_suppressions()
{
    return
        // libdbus: the shared session-bus connection Qt opens at start-up (platform theme and
        // tray lookups) keeps its buffers until dbus_shutdown(), which Qt never calls. libdbus
        // has no frame pointers, so the stack stops inside it: matched by the module.
        "leak:libdbus-1.so\n"
        // libwayland-client: Qt's Wayland plugin leaves the display's proxies, the clipboard's
        // data source and the contents it offers among them, for the process's end to free.
        "leak:libwayland-client.so\n"
        // What those data sources offer is what we handed to QClipboard, which owns it.
        "leak:vistrel::QtClipboard::set\n"
        // Mesa's EGL (there when GTK's dependencies are installed): Qt's Wayland plugin
        // initialises it for window buffers, and the driver it loads keeps a once-made table
        // for the process's life. The driver has no symbols, so the EGL library is named.
        "leak:libEGL_mesa.so\n"
        // libtesseract: its word lists (dawgs) live in a process-wide cache that only
        // TessBaseAPI::ClearPersistentCache frees; the recognizer helper exits with them,
        // which gives them back anyway.
        "leak:tesseract::DawgLoader::Load\n"
        "leak:tesseract::SquishedDawg::read_squished_dawg\n";
}

} // extern "C"
