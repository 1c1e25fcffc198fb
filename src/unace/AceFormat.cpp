#include "unace/AceFormat.h"

namespace unace {

std::string AceVolumeName(const std::string& firstVolume, unsigned volumeNumber, bool upperCase) {
    if (volumeNumber == 0) return firstVolume;
    // The extension is what follows the last '.' of the file-name part.
    const size_t slash = firstVolume.find_last_of("/\\");
    const size_t dot = firstVolume.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string name(firstVolume, 0, hasExtension ? dot : firstVolume.size());
    const unsigned k = volumeNumber - 1;
    name.push_back('.');
    if (k < 100) {
        name.push_back(upperCase ? 'C' : 'c');
        name.push_back(char('0' + k / 10));
        name.push_back(char('0' + k % 10));
    } else {
        name.append(std::to_string(k));
    }
    return name;
}

}  // namespace unace
