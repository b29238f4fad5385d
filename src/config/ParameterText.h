// The detector's parameters in words: one named, readable value per setting, for the installation
// report and for comparing a parameter file with the detector.
#pragma once

#include "protocol/ParameterBlock.h"

#include <QString>
#include <vector>

namespace config {

struct ParameterLine {
    QString group; // "MW", "PIR HIGH ABOVE", "Enable", "OUT #1", ...
    QString name;  // "Threshold", "Function", ...
    QString value;
};

std::vector<ParameterLine> DescribeParameters(const protocol::params::Parameters& p);

struct ParameterDifference {
    QString name; // group and name
    QString fileValue, detectorValue;
};
// The settings whose values differ, in the order of DescribeParameters, then the other bits a
// settings frame carries ("flags word bit 5", "OUT #2 reserved byte", "OUT #1 flags bit 6").
std::vector<ParameterDifference> CompareParameters(const protocol::params::Parameters& file,
                                                   const protocol::params::Parameters& detector);

// The values that the settings controls (at their full ranges) cannot show as they are, one line
// each: "MW Threshold 800 (the controls take 10..500)".
std::vector<QString> ValuesOutsideTheControls(const protocol::params::Parameters& p);

} // namespace config
