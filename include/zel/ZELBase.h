// ZELBase: the whole public interface in one include.
#pragma once

#include "zel/Export.h"
#include "zel/Memory.h"
#include "zel/Exception.h"
#include "zel/Lock.h"
#include "zel/StringUtil.h"
#include "zel/TimeUtil.h"
#include "zel/BaseString.h"
#include "zel/Array.h"
#include "zel/BlowFish.h"
#include "zel/NumberUtil.h"
#include "zel/SplitUtil.h"
#include "zel/HashUtil.h"
#include "zel/GuidUtil.h"
