#include "bounded_child.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/time.h>
#include <unistd.h>

pid_t ForkBoundedChild(Deadline deadline)
{
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child != 0) return child;
    // The parent may have died before the signal was armed: then we are an orphan already.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
    const int left = MillisecondsLeft(deadline);
    if (left == 0) ::_exit(127);
    // SIGALRM's default action ends the process; a timer survives exec.
    ::signal(SIGALRM, SIG_DFL);
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    ::sigprocmask(SIG_UNBLOCK, &alarm, nullptr);
    itimerval timer{};
    timer.it_value.tv_sec = left / 1000;
    timer.it_value.tv_usec = (left % 1000) * 1000;
    if (::setitimer(ITIMER_REAL, &timer, nullptr) != 0) ::_exit(127);
    return 0;
}
