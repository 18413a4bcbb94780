#pragma once

#include "answers/acceptedanswer.h"

// A measurement of row k as the decoder hands it on: 10.12.2026 09:30:05,
// the name "Резервуар 4", and base + i in every numeric column i (2..28),
// so each value tells its column.
AcceptedAnswer measurementAnswer(int row, double base);
