// Command-line option parsing: the table-driven parser over a UTF-8 argument
// vector, its typed values, and the splitter that turns one command-line
// string into such a vector.
#pragma once

#include <quab/types.h>

// ---------------------------------------------------------------------------
// Option definitions.

// Value types: bits 0-4 of RTOPTDEF::flags.
inline constexpr uint32_t RTOPT_TYPE_NONE = 0;
inline constexpr uint32_t RTOPT_TYPE_STRING = 1;
inline constexpr uint32_t RTOPT_TYPE_INT8 = 2;
inline constexpr uint32_t RTOPT_TYPE_UINT8 = 3;
inline constexpr uint32_t RTOPT_TYPE_INT16 = 4;
inline constexpr uint32_t RTOPT_TYPE_UINT16 = 5;
inline constexpr uint32_t RTOPT_TYPE_INT32 = 6;
inline constexpr uint32_t RTOPT_TYPE_UINT32 = 7;
inline constexpr uint32_t RTOPT_TYPE_INT64 = 8;
inline constexpr uint32_t RTOPT_TYPE_UINT64 = 9;
inline constexpr uint32_t RTOPT_TYPE_IPV4ADDR = 10;
inline constexpr uint32_t RTOPT_TYPE_IPV4CIDR = 11;
inline constexpr uint32_t RTOPT_TYPE_MACADDR = 14;
inline constexpr uint32_t RTOPT_TYPE_UUID = 15;
inline constexpr uint32_t RTOPT_TYPE_BOOL_ONOFF = 16;     // "on" / "off"
inline constexpr uint32_t RTOPT_TYPE_BOOL = 17;           // true/yes/enabled/on/1 and their opposites
inline constexpr uint32_t RTOPT_TYPE_PAIR_U32 = 18;
inline constexpr uint32_t RTOPT_TYPE_PAIR_U64 = 19;
inline constexpr uint32_t RTOPT_TYPE_PAIR_U32_OPT2 = 20;  // second number may be left out
inline constexpr uint32_t RTOPT_TYPE_PAIR_U64_OPT2 = 21;
inline constexpr uint32_t RTOPT_TYPE_MASK = 0x1F;

// Modifiers: bits 16-23 of RTOPTDEF::flags.
inline constexpr uint32_t RTOPT_HEX = 0x10000;
inline constexpr uint32_t RTOPT_OCT = 0x20000;
inline constexpr uint32_t RTOPT_DEC = 0x40000;
inline constexpr uint32_t RTOPT_INDEXED = 0x80000;
inline constexpr uint32_t RTOPT_INDEX_DEFAULT_0 = 0x100000;
inline constexpr uint32_t RTOPT_INDEX_DEFAULT_1 = 0x200000;
inline constexpr uint32_t RTOPT_INDEX_DASH = 0x400000;
inline constexpr uint32_t RTOPT_IGNORE_CASE = 0x800000;
inline constexpr uint32_t RTOPT_MODIFIER_MASK = 0xFF0000;

struct RTOPTDEF {
    const char *longName;   // full written form ("--path", "/?"); nullptr for short-only rows
    int32_t shortCode;      // returned on a match; 1-127 except '-' also gives "-<c>"
    uint32_t flags;         // value type | modifiers
};

// ---------------------------------------------------------------------------
// Results.

struct RTOPTIPV4ADDR {
    uint8_t au8[4];         // in text order
};

struct RTOPTIPV4CIDR {
    uint32_t addr;          // first byte of the text most significant
    uint32_t mask;
};

struct RTOPTMACADDR {
    uint8_t au8[6];
};

struct RTOPTUUID {
    uint32_t timeLow;
    uint16_t timeMid;
    uint16_t timeHiAndVersion;
    uint8_t clockSeqHiAndReserved;
    uint8_t clockSeqLow;
    uint8_t node[6];
};

struct RTOPTPAIRU32 {
    uint32_t first;
    uint32_t second;
};

struct RTOPTPAIRU64 {
    uint64_t first;
    uint64_t second;
};

// Cleared at the start of every call; which member holds the result depends
// on the returned code and the matched option's value type.
union RTOPTVALUE {
    const RTOPTDEF *def;
    const char *str;
    int8_t i8;
    uint8_t u8;
    int16_t i16;
    uint16_t u16;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    RTOPTIPV4ADDR ipv4;
    RTOPTIPV4CIDR cidr;
    RTOPTMACADDR mac;
    RTOPTUUID uuid;
    bool f;
    RTOPTPAIRU32 pairU32;
    RTOPTPAIRU64 pairU64;
};
static_assert(sizeof(RTOPTVALUE) == 16);

// ---------------------------------------------------------------------------
// Parser state.

inline constexpr uint32_t RTOPTINIT_PERMUTE = 1;
inline constexpr uint32_t RTOPTINIT_NO_STD_OPTS = 2;

// movedCount once every remaining argument is positional.
inline constexpr int32_t RTOPT_ALL_POSITIONAL = 0x7FFFFFFF;
inline constexpr uint32_t RTOPT_NO_INDEX = 0xFFFFFFFFu;

struct RTOPTSTATE {
    int32_t nextIndex;
    char **argv;
    int32_t argc;
    const RTOPTDEF *options;
    uint32_t optionCount;
    const char *clusterPos;     // next character of a short-option group, or nullptr
    const RTOPTDEF *lastDef;    // definition returned by the last successful call
    uint32_t index;             // index of the last indexed option, RTOPT_NO_INDEX when none
    uint32_t initFlags;
    int32_t movedCount;         // positional arguments moved aside under permutation
};

int32_t RTGetOptInit(RTOPTSTATE *pState, int argc, char **argv, const RTOPTDEF *paOptions, uint32_t cOptions,
                     int iFirst, uint32_t fInitFlags);

// 0 when done, the matched shortCode, RTI_NOT_OPTION for a positional
// argument, or a negative status (RTE_OPTION_*, a UTF-8 status,
// RTE_INTERNAL_ERROR for a bad table row).
int RTGetOpt(RTOPTSTATE *pState, RTOPTVALUE *pValue);

// Takes the next argument, whatever it looks like, as a further value of the
// option returned last, converted by fFlags (value type plus modifiers).
int32_t RTGetOptNextValue(RTOPTSTATE *pState, RTOPTVALUE *pValue, uint32_t fFlags);

// Reports a result of RTGetOpt on standard error; returns 2, the exit code
// for a command-line error.
int RTGetOptShowError(int rc, const RTOPTVALUE *pValue);

// ---------------------------------------------------------------------------
// Splitting a command-line string into an argument vector.

inline constexpr uint32_t RTGETOPTARGV_STYLE_MSCRT = 0;
inline constexpr uint32_t RTGETOPTARGV_STYLE_SHELL = 1;    // reserved, not supported
inline constexpr uint32_t RTGETOPTARGV_STYLE_MASK = 3;
inline constexpr uint32_t RTGETOPTARGV_IN_PLACE = 4;

// Splits pszCmdLine (written over with RTGETOPTARGV_IN_PLACE, else left as
// it is) into *ppapszArgv, a vector ended by nullptr, and *pcArgs.
// pszSeparators nullptr means " \t\n\r". Free with RTGetOptArgvFree.
int32_t RTGetOptArgvSplit(char ***ppapszArgv, int *pcArgs, char *pszCmdLine, uint32_t fFlags,
                          const char *pszSeparators);

// Frees a vector from RTGetOptArgvSplit; fFlags must be the ones used to split.
void RTGetOptArgvFree(char **papszArgv, uint32_t fFlags);
