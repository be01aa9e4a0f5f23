#include "platform/UserPlaces.h"

#include "platform/PathText.h"

std::vector<std::string> UserPlaces::HelpFileCandidates(const std::string& program,
                                                        const std::string& name,
                                                        const std::string& installedFromProgram) {
    const std::filesystem::path folder = PathOf(program).parent_path();
    std::vector<std::string> candidates{TextOf(folder / PathOf(name))};
    if (!installedFromProgram.empty())
        candidates.push_back(
            TextOf((folder / PathOf(installedFromProgram) / PathOf(name)).lexically_normal()));
    return candidates;
}
