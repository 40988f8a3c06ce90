// Per-unit values: a CSV file with a "port" column and one column per profile field, one row per device
// (port,device_id / COM1,DTU-0001 / ...). An empty cell leaves that field to the profile.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/profile.h"

// Keyed by port label as ParsePortArgument gives it (COM3, /dev/ttyUSB0). nullopt with the reason, naming
// the line and the field, when a port, a column or a value is not right.
std::optional<std::map<std::string, Profile>> ParseUnits(std::string_view csv, std::string& error);
