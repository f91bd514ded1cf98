// Built with exactly the include roots a file of session/ sees: everything
// below it, and neither of the two front ends that sit on it.
#if !__has_include("session/UnitSession.h") || !__has_include("store/ConfigStore.h")
#error "session/ sees its own headers and the store's"
#endif
#if !__has_include("link/SerialLink.h") || !__has_include("protocol/CommandFrame.h")
#error "session/ sees the link's and the protocol's headers"
#endif
#if __has_include("ui/MainWindow.h") || __has_include("cli/CliCommands.h")
#error "session/ sees a front end"
#endif
