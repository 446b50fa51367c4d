#include "cli/return_code_help.h"

#include <tallyx/tallyx.h>

#include "platform/port_texts.h"

namespace tallyx::cli {

namespace {

struct Entry {
    int32_t code;
    CodeHelp help;
};

constexpr const char* kCable = "the cable and its plugs, that the counter is switched on, and the line speed (--baud)";

const Entry kEntries[] = {
    {RETCODE_ABORTED, {"RETCODE_ABORTED", "the operation was stopped", "", kExitStopped}},
    {RETCODE_ERR_INVALIDHANDLE, {"RETCODE_ERR_INVALIDHANDLE", "the library did not know its own context", "", kExitOther}},
    {RETCODE_ERR_INVALIDPROPERTY, {"RETCODE_ERR_INVALIDPROPERTY", "the library knows no such setting", "", kExitUsage}},
    {RETCODE_ERR_INVALIDPROPERTYVALUE,
     {"RETCODE_ERR_INVALIDPROPERTYVALUE", "a setting has a value the library does not accept",
      "the value's form (see tallyx help for the option)", kExitUsage}},
    {RETCODE_ERR_VALUETOOBIG, {"RETCODE_ERR_VALUETOOBIG", "a setting's value is too long", "its length", kExitUsage}},
    {RETCODE_ERR_READONLYPROPERTY,
     {"RETCODE_ERR_READONLYPROPERTY", "the setting can only be read from a counter", "", kExitUsage}},
    {RETCODE_ERR_BADRANGE, {"RETCODE_ERR_BADRANGE", "the study does not end after it begins", "--begin and --end", kExitStudy}},
    {RETCODE_ERR_BADPERIOD, {"RETCODE_ERR_BADPERIOD", "the period must be 1 to 240 minutes", "--period", kExitStudy}},
    {RETCODE_ERR_PARTIALLASTPERIOD,
     {"RETCODE_ERR_PARTIALLASTPERIOD", "the study is not a whole number of periods long", "--begin, --end and --period",
      kExitStudy}},
    {RETCODE_ERR_RANGETOOBIG,
     {"RETCODE_ERR_RANGETOOBIG", "the study has more than 4000 periods", "--end or a longer --period", kExitStudy}},
    {RETCODE_ERR_BADSTARTDATETIME,
     {"RETCODE_ERR_BADSTARTDATETIME", "the begin is not a date and time at least a minute from now", "--begin",
      kExitStudy}},
    {RETCODE_ERR_BADENDDATETIME,
     {"RETCODE_ERR_BADENDDATETIME", "the end is not a date and time at least a minute from now", "--end", kExitStudy}},
    {RETCODE_ERR_BADSPEEDBINS, {"RETCODE_ERR_BADSPEEDBINS", "the study has no speed bins", "--speed-bins", kExitStudy}},
    {RETCODE_ERR_BADLENGTHBINS,
     {"RETCODE_ERR_BADLENGTHBINS", "the study has no length bins", "--length-bins", kExitStudy}},
    {RETCODE_ERR_OUTOFSEQUENCE,
     {"RETCODE_ERR_OUTOFSEQUENCE", "bin limits must increase from one to the next", "the bin lists", kExitUsage}},
    {RETCODE_ERR_PORTCLOSED,
     {"RETCODE_ERR_PORTCLOSED", "the port went away during the operation",
      "the cable and the USB adapter, which may have been unplugged", kExitPort}},
    {RETCODE_ERR_CANTOPENPORT,
     {"RETCODE_ERR_CANTOPENPORT", "the port could not be opened",
      "the port name (tallyx ports lists them), that no other program holds the port, and ", kExitPort}},
    {RETCODE_ERR_CANTCONFIGPORT,
     {"RETCODE_ERR_CANTCONFIGPORT", "the port refused the line settings",
      "--baud, --parity, --data-bits and --stop-bits", kExitPort}},
    {RETCODE_ERR_CANTCONFIGPORTHS,
     {"RETCODE_ERR_CANTCONFIGPORTHS", "the port refused to switch handshaking off", "the port's driver", kExitPort}},
    {RETCODE_ERR_FAILEDTOWAKEUP,
     {"RETCODE_ERR_FAILEDTOWAKEUP", "no counter announced itself on the port",
      "the cable, that the counter is switched on and awake (it sleeps after a while: wake it and try again), and "
      "the line speed (--baud)",
      kExitNoCounter}},
    {RETCODE_ERR_SENDINGDATA,
     {"RETCODE_ERR_SENDINGDATA", "sending to the counter failed or was not acknowledged", kCable, kExitLine}},
    {RETCODE_ERR_BADUNITTYPE,
     {"RETCODE_ERR_BADUNITTYPE", "the counter's unit type does not match the model it announced",
      "that the counter is one tallyx supports", kExitRefused}},
    {RETCODE_ERR_ERASEMEMORY,
     {"RETCODE_ERR_ERASEMEMORY", "the counter did not confirm that it erased its memory",
      "the battery, then try again", kExitRefused}},
    {RETCODE_ERR_CONFIRMATION,
     {"RETCODE_ERR_CONFIRMATION", "the counter did not keep a setting as it was sent", "the battery, then try again",
      kExitRefused}},
    {RETCODE_ERR_READ,
     {"RETCODE_ERR_READ", "the counter did not answer, or refused a request",
      "the cable, and whether the counter fell asleep (wake it and try again); --timeout-ms for a slow line",
      kExitLine}},
    {RETCODE_ERR_READNOCRC, {"RETCODE_ERR_READNOCRC", "an answer came without its check value", kCable, kExitLine}},
    {RETCODE_ERR_CRC, {"RETCODE_ERR_CRC", "the counter's data arrived damaged", kCable, kExitLine}},
    {RETCODE_ERR_BADRESPONSE,
     {"RETCODE_ERR_BADRESPONSE", "the counter's answer made no sense",
      "the log (--log-dir) for the answer; the counter may need a reset", kExitLine}},
    {RETCODE_ERR_BADDATATYPE,
     {"RETCODE_ERR_BADDATATYPE", "the counter sent records of a kind tallyx does not know",
      "the counter's firmware (tallyx info)", kExitLine}},
    {RETCODE_ERR_BADFORMATTYPE, {"RETCODE_ERR_BADFORMATTYPE", "the output format is unknown", "--format", kExitUsage}},
    {RETCODE_ERR_ITERNOTINITIALIZED,
     {"RETCODE_ERR_ITERNOTINITIALIZED", "the records were asked for out of order", "", kExitOther}},
    {RETCODE_ERR_NOTIMPLEMENTED,
     {"RETCODE_ERR_NOTIMPLEMENTED", "the counter cannot do this (for example, it has no discharge circuit)", "",
      kExitRefused}},
    {RETCODE_ERR_BUFFERTOOSMALL,
     {"RETCODE_ERR_BUFFERTOOSMALL", "a value did not fit, or memory ran short", "", kExitOther}},
};

}  // namespace

CodeHelp HelpFor(int32_t code) {
    for (const Entry& entry : kEntries) {
        if (entry.code != code) continue;
        if (code != RETCODE_ERR_CANTOPENPORT) return entry.help;
        // What else to check depends on how the system grants access to its ports.
        static const std::string check = std::string(entry.help.check) + SystemPortTexts().access;
        CodeHelp help = entry.help;
        help.check = check.c_str();
        return help;
    }
    return {"RETCODE_UNKNOWN", "the library failed in a way tallyx does not know", "the log (--log-dir)", kExitOther};
}

std::string DescribeCode(int32_t code) {
    const CodeHelp help = HelpFor(code);
    std::string text = std::string(help.name) + " (" + std::to_string(code) + "): " + help.meaning + ".";
    if (help.check[0] != '\0') text += std::string(" Check ") + help.check + ".";
    return text;
}

const char* ExitStatusTable() {
    return "Exit status:\n"
           "  0  success\n"
           "  1  stopped: Ctrl-C, or the low-battery question answered no\n"
           "  2  bad options or study file; nothing was sent to the counter\n"
           "  3  the port does not exist, is held by another program, or cannot be set up\n"
           "  4  no counter announced itself on the port\n"
           "  5  the exchange with the counter failed part-way\n"
           "  6  the counter refused, or cannot do what was asked\n"
           "  7  the study settings are not valid; nothing was erased\n"
           "  8  the output files could not be written\n"
           "  9  any other failure\n"
           "  10 the archive could not be opened, read or written (not an archive, damaged, from a newer tallyx, "
           "read-only, disk full); a read's folder is written all the same\n";
}

}  // namespace tallyx::cli
