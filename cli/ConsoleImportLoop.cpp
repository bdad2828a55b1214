#include "cli/ConsoleImportLoop.h"

namespace velmorant::cli {

namespace {
volatile sig_atomic_t g_interrupted = 0;

void onInterrupt(int) { g_interrupted = 1; }
}  // namespace

ConsoleImportLoop::~ConsoleImportLoop() { running(false); }

void ConsoleImportLoop::running(bool on) {
    if (on && !m_installed) {
        g_interrupted = 0;
        struct sigaction action {};
        action.sa_handler = &onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;  // the second Ctrl+C has its usual effect
        m_installed = sigaction(SIGINT, &action, &m_previous) == 0;
    } else if (!on && m_installed) {
        sigaction(SIGINT, &m_previous, nullptr);
        m_installed = false;
    }
}

bool ConsoleImportLoop::serve() { return g_interrupted != 0; }

}  // namespace velmorant::cli
