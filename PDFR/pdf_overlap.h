// The interval overlap measures shared by the layout, the page regions, the writer and
// table building.
#pragma once

// Signed overlap of [a, b] and [c, d] relative to the shorter interval: 1 when one
// interval is a single point inside the other, 0 when either is a single point otherwise.
double overlapRatio(double a, double b, double c, double d);
// The same relative to the longer interval.
double overlapRatioToLonger(double a, double b, double c, double d);
