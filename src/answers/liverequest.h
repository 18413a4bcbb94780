#pragma once

#include <QByteArrayView>
#include <optional>

// What one read event of a live client says: the poll-list row (characters 1-2)
// and the argument (characters 3-4) of a forwarded request, both decimal digits
// only; a text of three characters takes its third character alone as the
// argument. The text ends at the first zero byte.
struct LiveRequest {
    int row = 0;
    int argument = 0;

    static std::optional<LiveRequest> parse(QByteArrayView bytes);
};
