// Built with exactly the include roots a file of link/ sees: its own headers
// and those of protocol/, never those of the layers beside or above it. If an
// include root ever widens, this file stops compiling.
#if !__has_include("link/SerialLink.h") || !__has_include("protocol/CommandFrame.h")
#error "a layer sees its own headers and those of the layers below it"
#endif
#if __has_include("store/ConfigStore.h")
#error "link/ sees store/"
#endif
#if __has_include("session/UnitSession.h")
#error "link/ sees session/"
#endif
#if __has_include("ui/MainWindow.h") || __has_include("cli/CliCommands.h")
#error "link/ sees a front end"
#endif
