#include "descriptorlimit.h"

#include "model/logcategories.h"

#include <QtGlobal>
#include <sys/resource.h>

long DescriptorLimit::raiseToHard()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        const rlim_t before = limit.rlim_cur;
        limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            qCWarning(lcShell) << "cannot raise the open-file limit from" << qulonglong(before);
            ::getrlimit(RLIMIT_NOFILE, &limit);
        }
    }
    // An unlimited or huge hard limit still counts as plenty.
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > rlim_t(1L << 30)
               ? 1L << 30
               : long(limit.rlim_cur);
}

int DescriptorLimit::liveClients(long limit, int wanted)
{
    if (limit < 0)
        return wanted;
    return int(qBound(1L, limit - kReserve, long(wanted)));
}
