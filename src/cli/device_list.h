#pragma once
// The text of torvex-cli list.

#include <cstdint>
#include <string>
#include <vector>

namespace torvex::cli {

struct ListedDevice {
    std::string label; // as the window lists it
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t inputLength = 0; // report lengths, report id byte included
    std::uint16_t outputLength = 0;
    bool instrument = false;
    bool readWrite = true;
    std::string accessProblem; // why it cannot be opened for reading and writing, when it cannot
};

// One aligned line per device, instruments marked with "*", then the notes the marks need.
std::string formatDeviceList(const std::vector<ListedDevice> &devices);

} // namespace torvex::cli
