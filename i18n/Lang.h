// The language and the pressure unit of everything the program shows.
#pragma once

enum TLang : int
{
    ruRU = 0,
    enUS = 1
};

enum EPressureUnits : int
{
    puKPa = 0,
    puATM = 1,
    puKgCm2 = 2,
    puMmRtSt = 3
};

// A stored number read back as a language or unit; anything out of range gives the first.
constexpr TLang LangFromInt(int v)
{
    return v == enUS ? enUS : ruRU;
}
constexpr EPressureUnits UnitFromInt(int v)
{
    return v >= puKPa && v <= puMmRtSt ? EPressureUnits(v) : puKPa;
}
