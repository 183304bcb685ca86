// The process that works on a table beside the tests: it appends and deletes records until it is killed, or
// only appends a given number of records and ends. It reports on standard output each append once it has
// returned and each deletion as it starts and ends.
#include "binary-dataset/bindata.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <unistd.h>

namespace {

void Report(char what, int id) {
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%c %d\n", what, id);
    // Unbuffered, so that every report made before the kill reaches the test.
    if (write(STDOUT_FILENO, line, size_t(length)) != length)
        std::exit(3);
}

} // namespace

// Arguments: table path, seed, first record id, and the number of records to append when it only appends.
int main(int argc, char** argv) {
    if (argc != 4 && argc != 5)
        return 2;
    std::mt19937 random(unsigned(std::atoi(argv[2])));
    int next = std::atoi(argv[3]);
    const bool onlyAppend = argc == 5;
    const int end = onlyAppend ? next + std::atoi(argv[4]) : 0;
    try {
        TBinaryDataSet data;
        data.SetTableName(QString::fromLocal8Bit(argv[1]));
        data.Open();
        while (!onlyAppend || next < end) {
            if (onlyAppend || data.IsEmpty() || random() % 10 < 7) {
                data.Append();
                data.FieldByName("ID").SetAsInteger(next);
                data.FieldByName("TEXT").SetAsString("запись");
                data.Post();
                Report('A', next++);
            } else {
                data.First();
                for (unsigned steps = random() % 8; steps > 0; --steps)
                    data.Next();
                const int id = data.FieldByName("ID").AsInteger();
                Report('d', id);
                data.Delete();
                Report('D', id);
            }
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
