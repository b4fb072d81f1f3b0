// The operating-system services the conversion run and its hosts need. Each system implements
// them in files of its own, one concern each (win32_*.cpp, posix_*.cpp), keeping its own state;
// nothing here names an OS type. paths.cpp and utf8.cpp are shared.
// The contract is kept by concern, one header each, all of them here.
#pragma once

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/hashing.h"
#include "platform/image.h"
#include "platform/names.h"
#include "platform/text.h"
#include "platform/threads.h"
