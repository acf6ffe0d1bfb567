// Counts the frames a process presents, without asking the process: loaded with
// LD_PRELOAD, it wraps eglSwapBuffers and adds one to a 64-bit counter kept in the file
// that SWAPCOUNT_FILE names (mapped shared, so a reader sees every swap at once).
// The menu's end-to-end test uses it, and bench/desktop-cpu.sh builds its own.
#include <EGL/egl.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

uint64_t* counter = nullptr;

void openCounter() {
    const char* path = getenv("SWAPCOUNT_FILE");
    if (!path) return;
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (ftruncate(fd, sizeof(uint64_t)) == 0) {
        void* mapped = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped != MAP_FAILED) counter = static_cast<uint64_t*>(mapped);
    }
    close(fd);
}

} // namespace

extern "C" EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface) {
    using Swap = EGLBoolean (*)(EGLDisplay, EGLSurface);
    static Swap real = nullptr;
    if (!real) {
        real = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "eglSwapBuffers"));
        openCounter();
    }
    if (counter) __atomic_add_fetch(counter, 1, __ATOMIC_RELAXED);
    return real ? real(display, surface) : EGL_FALSE;
}
