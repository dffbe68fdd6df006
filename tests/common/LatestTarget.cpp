#include "tests/common/LatestTarget.h"

#include "conversion/ParameterSmoother.h"

double LatestTarget(ParameterSmoother& Smoother)
{
    double dfValue = 0.0;
    if (Smoother.GetPendingTarget(dfValue) == 1 || Smoother.GetRampTarget(dfValue) == 1)
    {
        return dfValue;
    }
    Smoother.GetCurrent(dfValue);
    return dfValue;
}
