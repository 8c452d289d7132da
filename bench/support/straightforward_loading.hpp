#pragma once
// The measurement file read the straightforward way, the reference for the
// program's reader: getline, splitting, strtoflt128 per field (the first field of
// a record converted and dropped, as the program reads and drops it). Records
// without three fields are skipped.

#include <string>
#include <vector>

namespace bench {

struct ReferenceSeries {
    std::vector<__float128> kraft;
    std::vector<__float128> weg;
};

ReferenceSeries load_the_straightforward_way(const std::string& path);

}  // namespace bench
