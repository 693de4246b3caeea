#include "ProcessClock.h"

#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace varno {

qint64 millisecondsSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name may hold spaces and parentheses: fields are counted
    // from the last ')', which ends field 2. The start time is field 22.
    const std::size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(nameEnd + 1));
    std::string field;
    for (int i = 3; i < 22; ++i) {
        if (!(fields >> field))
            return -1;
    }
    unsigned long long startTicks = 0;
    if (!(fields >> startTicks))
        return -1;
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    timespec now {};
    if (ticksPerSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const qint64 nowMs = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return nowMs - qint64(startTicks * 1000 / static_cast<unsigned long long>(ticksPerSecond));
}

} // namespace varno
