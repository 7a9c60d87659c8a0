// Zip archives of one bar file: the end record (or zip64's), the central directory and the one
// file's local header are read here, and the source is set to read that file's bytes.
#ifndef KMI_HOST_BAR_FILES_ZIP_ARCHIVES_H
#define KMI_HOST_BAR_FILES_ZIP_ARCHIVES_H

#include "kmi_host/bar_files/compressed_files.h"

namespace kmi::emu {

// Reads the central directory; when it lists exactly one file, the source is made to read it.
// Throws InputError naming the file for an archive of no file or several, an Excel workbook, an
// encrypted file or one packed by a method other than stored or deflated, and a damaged archive.
void open_zip(ByteSource& source);

}  // namespace kmi::emu

#endif
