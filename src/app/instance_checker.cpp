#include "app/instance_checker.h"

std::string CInstanceChecker::SharedBlockName() const {
    return name_ + "_CInstanceChecker_MMF";
}
