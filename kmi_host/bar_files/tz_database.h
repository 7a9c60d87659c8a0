// The tz database compiled into kmi-host: every zone's TZif file of the build machine's zoneinfo
// folder (Debian's tzdata), by the zone's name. cmake/embed-tz-database.cmake writes the table
// at build time; Linux and Windows builds of one tzdata hold the same bytes.
#ifndef KMI_HOST_BAR_FILES_TZ_DATABASE_H
#define KMI_HOST_BAR_FILES_TZ_DATABASE_H

#include <span>
#include <string_view>

namespace kmi::emu {

struct TzFile {
    std::string_view name;   // "America/New_York", "Etc/GMT+5", "UTC"
    std::string_view bytes;  // the TZif file
};

// Every zone of the database, sorted by name (byte by byte), links included.
std::span<const TzFile> tz_database_files();

// The database's version ("2025b"), or empty when the folder did not say.
std::string_view tz_database_version();

// The zone of exactly that name, or none.
const TzFile* tz_database_file(std::string_view name);

}  // namespace kmi::emu

#endif
