/* Reads the counter on a port and prints the vehicles of each period.
 *
 *   cc read_volumes.c $(pkg-config --cflags --libs tallyx) -o read_volumes
 *   ./read_volumes 3          (the counter on COM3)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tallyx/tallyx.h>

int main(int argc, char** argv) {
    const char* port = argc > 1 ? argv[1] : "1";
    TallyxHandle counter = Init();
    if (counter == NULL) return 1;
    SetProperty(counter, PROPERTY_COMM_PORT, port);
    int32_t result = ReadDevice(counter);
    if (result != RETCODE_OK) {
        fprintf(stderr, "reading the counter on COM%s failed: %d\n", port, (int)result);
        Term(counter);
        return 1;
    }
    /* Periodic lines: TimeStamp,Temperature,Occupancy,Count,ReverseCount,bins... */
    char line[10240];
    printf("period end               vehicles  reverse\n");
    result = GetFirstValue(counter, GETVALUE_DATA_PERIODIC, GETVALUE_FORMAT_CSV, line, sizeof line);
    for (result = GetNextValue(counter, line, sizeof line); result == RETCODE_OK;
         result = GetNextValue(counter, line, sizeof line)) {
        char* fields[5] = {line, NULL, NULL, NULL, NULL};
        for (int i = 1; i < 5; ++i) {
            char* comma = strchr(fields[i - 1], ',');
            if (comma == NULL) break;
            *comma = '\0';
            fields[i] = comma + 1;
        }
        if (fields[4] == NULL) continue;
        printf("%s  %8ld  %7ld\n", fields[0], strtol(fields[3], NULL, 10), strtol(fields[4], NULL, 10));
    }
    Term(counter);
    return result == RETCODE_NOMOREVALUES ? 0 : 1;
}
