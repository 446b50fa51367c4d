/*
 * tallyx: reading and programming roadside traffic counters.
 *
 * The library is used only through the ten functions below. A caller obtains a
 * handle from Init, configures it with SetProperty, optionally registers the two
 * callbacks, runs one device operation (ReadDevice or WriteDevice), reads the
 * results back with GetProperty and GetFirstValue/GetNextValue, and releases the
 * handle with Term.
 *
 * Text arguments are 8-bit null-terminated strings. Output buffers are passed as a
 * pointer and a size in bytes that includes room for the terminating null; nothing is
 * ever written past that size.
 *
 * Every function but Init answers RETCODE_ERR_INVALIDHANDLE, and does nothing, when the
 * handle is null, was already freed by Term (so a second Term answers it too), or is any
 * other pointer Init did not return; the library never reads behind such a handle. A
 * freed handle whose address a later Init hands out again names that new context.
 */
#ifndef TALLYX_TALLYX_H
#define TALLYX_TALLYX_H

#include <stdint.h>

/* On Windows the library's export table comes from its module definition file
 * (tallyx.def), which also gives each function its ordinal. */
#if defined(_WIN32)
#define TALLYX_API
#elif defined(TALLYX_BUILDING_LIBRARY)
#define TALLYX_API __attribute__((visibility("default")))
#else
#define TALLYX_API
#endif

/* The calling convention of the ten functions and of both callback types: the
 * platform's standard one for exported functions, which on 32-bit x86 Windows is
 * __stdcall. Elsewhere it is the default C convention. */
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define TALLYX_CALL __stdcall
#else
#define TALLYX_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An opaque handle to a library context. */
typedef struct TallyxContext* TallyxHandle;

/* Progress callback: called with the caller's handle and a step number that starts
 * at 1 for every device operation. Returning exactly 1 aborts the operation. */
typedef int32_t(TALLYX_CALL* ProgressCallback)(TallyxHandle handle, uint32_t step);

/* Prompt callback: called with the caller's handle and one of the PROMPT_REASON_
 * values. Returning anything but 0 aborts. */
typedef int32_t(TALLYX_CALL* PromptCallback)(TallyxHandle handle, int32_t reason);

/* Prompt reasons. */
#define PROMPT_REASON_CONNECT 1
#define PROMPT_REASON_DISCONNECT 2
#define PROMPT_REASON_LOWBATTERY 3

/* Return codes. */
#define RETCODE_OK 0
#define RETCODE_ABORTED 1
#define RETCODE_NOMOREVALUES 2
#define RETCODE_ERR_INVALIDHANDLE (-1)
#define RETCODE_ERR_INVALIDPROPERTY (-10)
#define RETCODE_ERR_INVALIDPROPERTYVALUE (-11)
#define RETCODE_ERR_VALUETOOBIG (-12)
#define RETCODE_ERR_READONLYPROPERTY (-13)
#define RETCODE_ERR_BADRANGE (-14)
#define RETCODE_ERR_BADPERIOD (-15)
#define RETCODE_ERR_PARTIALLASTPERIOD (-16)
#define RETCODE_ERR_RANGETOOBIG (-17)
#define RETCODE_ERR_BADSTARTDATETIME (-18)
#define RETCODE_ERR_BADENDDATETIME (-19)
#define RETCODE_ERR_BADSPEEDBINS (-20)
#define RETCODE_ERR_BADLENGTHBINS (-21)
#define RETCODE_ERR_OUTOFSEQUENCE (-22)
#define RETCODE_ERR_PORTCLOSED (-30)
#define RETCODE_ERR_CANTOPENPORT (-31)
#define RETCODE_ERR_CANTCONFIGPORT (-32)
#define RETCODE_ERR_CANTCONFIGPORTHS (-33)
#define RETCODE_ERR_FAILEDTOWAKEUP (-34)
#define RETCODE_ERR_SENDINGDATA (-40)
#define RETCODE_ERR_BADUNITTYPE (-41)
#define RETCODE_ERR_ERASEMEMORY (-42)
#define RETCODE_ERR_CONFIRMATION (-43)
#define RETCODE_ERR_READ (-50)
#define RETCODE_ERR_READNOCRC (-53)
#define RETCODE_ERR_CRC (-54)
#define RETCODE_ERR_BADRESPONSE (-55)
#define RETCODE_ERR_BADDATATYPE (-60)
#define RETCODE_ERR_BADFORMATTYPE (-61)
#define RETCODE_ERR_ITERNOTINITIALIZED (-62)
#define RETCODE_ERR_NOTIMPLEMENTED (-100)
#define RETCODE_ERR_BUFFERTOOSMALL (-101)

/* Property names. */
#define PROPERTY_COMM_PORT "PROPERTY_COMM_PORT"
#define PROPERTY_USBX_PORT "PROPERTY_USBX_PORT"
#define PROPERTY_COMM_BAUD "PROPERTY_COMM_BAUD"
#define PROPERTY_COMM_PARITY "PROPERTY_COMM_PARITY"
#define PROPERTY_COMM_NUMBITS "PROPERTY_COMM_NUMBITS"
#define PROPERTY_COMM_NUMSTOPBITS "PROPERTY_COMM_NUMSTOPBITS"
#define PROPERTY_COMM_LOGFOLDER "PROPERTY_COMM_LOGFOLDER"
#define PROPERTY_COMM_LOGLEVEL "PROPERTY_COMM_LOGLEVEL"
#define PROPERTY_COMM_PEEKTOUTMS "PROPERTY_COMM_PEEKTOUTMS"
#define PROPERTY_COMM_RECVTOUTMS "PROPERTY_COMM_RECVTOUTMS"
#define PROPERTY_COMM_SENDTOUTMS "PROPERTY_COMM_SENDTOUTMS"
#define PROPERTY_COMM_WAITAFTERRESETMS "PROPERTY_COMM_WAITAFTERRESETMS"
#define PROPERTY_COMM_WAITBETWEENREQSMS "PROPERTY_COMM_WAITBETWEENREQSMS"
#define PROPERTY_STUDY_STATE "PROPERTY_STUDY_STATE"
#define PROPERTY_STUDY_CITY "PROPERTY_STUDY_CITY"
#define PROPERTY_STUDY_COUNTY "PROPERTY_STUDY_COUNTY"
#define PROPERTY_STUDY_ADDRESS "PROPERTY_STUDY_ADDRESS"
#define PROPERTY_STUDY_LANE "PROPERTY_STUDY_LANE"
#define PROPERTY_STUDY_SPEEDLIMIT "PROPERTY_STUDY_SPEEDLIMIT"
#define PROPERTY_STUDY_OPERATOR "PROPERTY_STUDY_OPERATOR"
#define PROPERTY_DEV_SERIALNO "PROPERTY_DEV_SERIALNO"
#define PROPERTY_DEV_UNITTYPE "PROPERTY_DEV_UNITTYPE"
#define PROPERTY_DEV_FIRMWAREREV "PROPERTY_DEV_FIRMWAREREV"
#define PROPERTY_DEV_BATTERYVOLTAGE "PROPERTY_DEV_BATTERYVOLTAGE"
#define PROPERTY_DEV_ACR "PROPERTY_DEV_ACR"
#define PROPERTY_DEV_BATTERYPERCENT "PROPERTY_DEV_BATTERYPERCENT"
#define PROPERTY_STUDY_LENGTHBINS "PROPERTY_STUDY_LENGTHBINS"
#define PROPERTY_STUDY_SPEEDBINS "PROPERTY_STUDY_SPEEDBINS"
#define PROPERTY_STUDY_BEGINDATETIME "PROPERTY_STUDY_BEGINDATETIME"
#define PROPERTY_STUDY_ENDDATETIME "PROPERTY_STUDY_ENDDATETIME"
#define PROPERTY_STUDY_RANGETIME "PROPERTY_STUDY_RANGETIME"
#define PROPERTY_STUDY_PERIODTIME "PROPERTY_STUDY_PERIODTIME"
#define PROPERTY_STUDY_NUMRECORDS "PROPERTY_STUDY_NUMRECORDS"
#define PROPERTY_STUDY_BINRECORDSIZE "PROPERTY_STUDY_BINRECORDSIZE"
#define PROPERTY_STUDY_TYPE "PROPERTY_STUDY_TYPE"
#define PROPERTY_STUDY_FCODE "PROPERTY_STUDY_FCODE"
#define PROPERTY_STUDY_MEASUREMENTUNITS "PROPERTY_STUDY_MEASUREMENTUNITS"
#define PROPERTY_DEV_STATISTICS "PROPERTY_DEV_STATISTICS"
#define PROPERTY_TALLYX_READWRITEACTION "PROPERTY_TALLYX_READWRITEACTION"

/* Values of PROPERTY_STUDY_MEASUREMENTUNITS. */
#define STUDY_MEASUREMENTUNITS_US "STUDY_MEASUREMENTUNITS_US"
#define STUDY_MEASUREMENTUNITS_METRIC "STUDY_MEASUREMENTUNITS_METRIC"

/* Values of PROPERTY_TALLYX_READWRITEACTION. */
#define TALLYX_READACTION_ALL "TALLYX_READACTION_ALL"
#define TALLYX_READACTION_DEVICEINFO "TALLYX_READACTION_DEVICEINFO"
#define TALLYX_WRITEACTION_PROGRAMSTUDY "TALLYX_WRITEACTION_PROGRAMSTUDY"
#define TALLYX_WRITEACTION_STARTBATTERYDISCHARGE "TALLYX_WRITEACTION_STARTBATTERYDISCHARGE"
#define TALLYX_WRITEACTION_STOPBATTERYDISCHARGE "TALLYX_WRITEACTION_STOPBATTERYDISCHARGE"

/* Data types and formats of GetFirstValue. */
#define GETVALUE_DATA_SEQUENTIAL "GETVALUE_DATA_SEQUENTIAL"
#define GETVALUE_DATA_PERIODIC "GETVALUE_DATA_PERIODIC"
#define GETVALUE_FORMAT_CSV "GETVALUE_FORMAT_CSV"
#define GETVALUE_FORMAT_XML "GETVALUE_FORMAT_XML"

/* How ReadDevice and WriteDevice end when the line fails them. Every command gets three attempts
 * (answer lost, late, short, spoiled or without its check value); a refusal is not retried, except
 * where a whole programming sequence or data chunk is tried again, and a model A field the counter
 * refuses is left empty while the read goes on. When the attempts run out:
 * RETCODE_ERR_READ (-50) for silence or a refusal, RETCODE_ERR_READNOCRC (-53) or
 * RETCODE_ERR_CRC (-54) for model A check values, RETCODE_ERR_BADRESPONSE (-55) for an answer
 * that makes no sense, and RETCODE_ERR_SENDINGDATA (-40) once the line has gone away (a hang-up
 * or an unplugged USB adapter). A wake-up line that is missing, too long, or not a READY line is
 * RETCODE_ERR_FAILEDTOWAKEUP (-34). In every case the port is closed when the call returns and
 * the context is ready for the next operation; the retries are counted in PROPERTY_DEV_STATISTICS
 * (CommRetries). */

/* 1: creates a context; null when it cannot be allocated. */
TALLYX_API TallyxHandle TALLYX_CALL Init(void);
/* 2: closes what is open, calls the prompt callback with reason 2, frees the context.
 *    Called from a callback of the same context while its ReadDevice or WriteDevice runs, it frees
 *    nothing and returns RETCODE_ERR_INVALIDHANDLE. */
TALLYX_API int32_t TALLYX_CALL Term(TallyxHandle handle);
/* 3: connects, reads the counter, disconnects. ReadDevice and WriteDevice called from a callback
 *    of the same context while one of them runs return RETCODE_ERR_INVALIDHANDLE and do nothing;
 *    GetProperty, SetProperty and the value walk may be called from a callback. A model B study
 *    begin or end that is no calendar time is read as the null time (0-00-00 00:00:00.000, range
 *    0): the vehicles still come, stamped with the null time when the begin is the one. */
TALLYX_API int32_t TALLYX_CALL ReadDevice(TallyxHandle handle);
/* 4: connects, runs the write action, disconnects. A model B study whose site texts and bins
 *    would make a user area longer than a read brings back is refused with
 *    RETCODE_ERR_BUFFERTOOSMALL before anything is sent to the counter or erased. */
TALLYX_API int32_t TALLYX_CALL WriteDevice(TallyxHandle handle);
/* 5, 6: store a callback (null allowed) for drivers created afterwards. */
TALLYX_API int32_t TALLYX_CALL SetProgressCallback(TallyxHandle handle, ProgressCallback callback);
TALLYX_API int32_t TALLYX_CALL SetPromptCallback(TallyxHandle handle, PromptCallback callback);
/* 7: copies a property's value into the caller's buffer. RETCODE_ERR_BUFFERTOOSMALL when the
 *    buffer is null or bufferSize is 0 (before the name is looked at), or when the value and its
 *    null do not fit: the buffer is then untouched, except for a value converted to metric units
 *    that grew past it, which leaves a shortened, terminated text. RETCODE_ERR_INVALIDPROPERTY
 *    for a null name or one that is not a property (names are case-sensitive). */
TALLYX_API int32_t TALLYX_CALL GetProperty(TallyxHandle handle, const char* name, char* buffer, uint32_t bufferSize);
/* 8: sets a property. RETCODE_ERR_INVALIDPROPERTY for a null or unknown name; a null value is
 *    taken as the empty text. After the property's own checks (RETCODE_ERR_INVALIDPROPERTYVALUE,
 *    RETCODE_ERR_VALUETOOBIG, RETCODE_ERR_OUTOFSEQUENCE), a value of 1024 bytes or more with its
 *    null gives RETCODE_ERR_BUFFERTOOSMALL; a shorter one longer than the property keeps is cut
 *    to that length. On any error the stored value stays as it was. */
TALLYX_API int32_t TALLYX_CALL SetProperty(TallyxHandle handle, const char* name, const char* value);
/* 9: starts the iteration over the read data and copies its first line. RETCODE_NOMOREVALUES
 *    when the context holds no counter's data (none reached since Init, or the last device
 *    operation failed to connect), whatever the other arguments; then RETCODE_ERR_BUFFERTOOSMALL
 *    for a null buffer, a bufferSize of 0 or a line that does not fit, RETCODE_ERR_BADDATATYPE
 *    for a null or unknown data type and RETCODE_ERR_BADFORMATTYPE for a null or unknown format.
 *    A failed call leaves no iteration. */
TALLYX_API int32_t TALLYX_CALL GetFirstValue(TallyxHandle handle, const char* dataType, const char* format, char* buffer,
                                 uint32_t bufferSize);
/* 10: copies the next line of the iteration; 2 when there are no more, or when the context
 *     holds no counter's data. RETCODE_ERR_ITERNOTINITIALIZED until a GetFirstValue has
 *     succeeded, right after a read as well. RETCODE_ERR_BUFFERTOOSMALL for a null buffer, a
 *     bufferSize of 0 or a line that does not fit; that line is then passed over by the next
 *     call. */
TALLYX_API int32_t TALLYX_CALL GetNextValue(TallyxHandle handle, char* buffer, uint32_t bufferSize);

#ifdef __cplusplus
}
#endif

#endif /* TALLYX_TALLYX_H */
