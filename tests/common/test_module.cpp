// A tiny loadable library for the shared-library tests of the platform layer.
extern "C" int CommonTestModuleAnswer() {
    return 42;
}
