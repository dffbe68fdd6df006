#pragma once
class ParameterSmoother;

// The latest target given to a smoother: the queued one, else the running ramp's, else its value.
double LatestTarget(ParameterSmoother& Smoother);
