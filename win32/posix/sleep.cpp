// Sleep, replaceable by tests so every pause of the plugin runs in virtual time.
#include "win32_control.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

std::mutex g_handlerMutex;
ZorvaSleepHandler g_handler = nullptr;
void* g_context = nullptr;

} // namespace

ZORVA_WIN32_API ZorvaSleepHandler ZorvaWin32_SetSleepHandler(ZorvaSleepHandler handler, void* context)
{
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    ZorvaSleepHandler old = g_handler;
    g_handler = handler;
    g_context = context;
    return old;
}

ZORVA_WIN32_API ZorvaSleepHandler ZorvaWin32_GetSleepHandler(void** context)
{
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    if (context)
        *context = g_context;
    return g_handler;
}

ZORVA_WIN32_API void WINAPI Sleep(DWORD milliseconds)
{
    ZorvaSleepHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        handler = g_handler;
        context = g_context;
    }
    if (handler) {
        handler(milliseconds, context);
        return;
    }
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
