#pragma once

#include "currency.h"

#include <QString>

// Italian words, written as one word, for the whole part of numer; empty below 1 and from 10^12 up.
QString numlett(Currency numer);
