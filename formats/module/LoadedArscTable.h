#pragma once

#include "formats/ResourceTable.h"

// The resource table `table` as libandroidfw's LoadedArsc reads it, which checks every chunk as
// it loads and lists one type chunk per configuration. Nothing when it does not load. The only
// file that reads tables through libandroidfw.
std::unique_ptr<const ResourceTable> LoadWithLibandroidfw(const QByteArray &table);
