#include "FormatModuleComplaint.h"

#include "FailureText.h"

#include <cstdio>

void SayFormatModuleProblem(const Failure &problem)
{
    std::fprintf(stderr, "Pelmora：%s\n", FailureText(problem).toLocal8Bit().constData());
}
