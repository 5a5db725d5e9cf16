// Linux only: there is no Windows version to classify, so every query answers "not recognised".
#include "sys/os_version.h"

namespace ZUL {

bool CSystemVersion::QueryVersion(unsigned long&, unsigned long&, unsigned long&) {
    return false;
}

bool CSystemVersion::QuerySystemVersion(unsigned long&, unsigned long&) {
    return false;
}

}  // namespace ZUL
