// Counts the frames a process presents, without asking the process: loaded with
// LD_PRELOAD, it wraps SDL_GL_SwapWindow (the window's swap) and eglSwapBuffers (the
// headless one's) and adds one to a 64-bit counter kept in the file that SWAPCOUNT_FILE
// names (mapped shared, so a reader sees every swap at once). SDL reaches EGL through
// pointers of its own, so one swap is never counted twice.
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
    if (counter) return;
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

template <typename Function>
Function next(const char* name) {
    openCounter();
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void count() {
    if (counter) __atomic_add_fetch(counter, 1, __ATOMIC_RELAXED);
}

} // namespace

struct SDL_Window;

extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
    using Swap = void (*)(SDL_Window*);
    static Swap real = next<Swap>("SDL_GL_SwapWindow");
    count();
    if (real) real(window);
}

extern "C" EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface) {
    using Swap = EGLBoolean (*)(EGLDisplay, EGLSurface);
    static Swap real = next<Swap>("eglSwapBuffers");
    count();
    return real ? real(display, surface) : EGL_FALSE;
}
