/// The standard plate models, one row each. Everything per model follows from
/// this table: the per-model definition classes, the model-index switch, the
/// plugin's static definitions (registered in row order, right after the
/// shared configuration definition) and the rows detection matches a platform
/// against. Adding a model is one row here, plus its expected values in the
/// tests' table (tests/support/ExpectedDefinitions.cpp).
///
/// ZORVA_PLATE_MODEL(Tag, Name, X, Y, Actions, OtherText, MatchY, MatchX):
/// - Tag: the class is VZORVA_<Tag>_PlateDefinition;
/// - Name: the definition's name, also searched for (case counts) in a
///   detected platform's model text;
/// - X, Y: the definition's dimensions, metres;
/// - Actions: registered with its blink action;
/// - OtherText: a second spelling searched for, or nullptr;
/// - MatchY, MatchX: the platform length and width (millimetres) that select
///   the model when no text matches, 0 for none. Not always the definition's
///   own size.
/// A model's index is its row number, from 1.
#pragma once

#define ZORVA_STANDARD_PLATE_MODELS(ZORVA_PLATE_MODEL)                                                                 \
    ZORVA_PLATE_MODEL(Pendra, "Pendra", 0.4, 0.6, true, nullptr, 600, 400)                                             \
    ZORVA_PLATE_MODEL(Veskin, "Veskin", 0.464, 0.508, true, nullptr, 508, 464)                                         \
    ZORVA_PLATE_MODEL(Morrit, "Morrit", 0.464, 0.508, true, nullptr, 0, 0)                                             \
    ZORVA_PLATE_MODEL(Talvo, "Talvo", 0.464, 0.508, true, nullptr, 0, 0)                                               \
    ZORVA_PLATE_MODEL(Brisen, "Brisen", 0.498, 0.498, false, nullptr, 498, 498)                                        \
    ZORVA_PLATE_MODEL(Quillo, "Quillo", 0.6, 0.6, true, nullptr, 600, 600)                                             \
    ZORVA_PLATE_MODEL(Derran, "Derran", 0.6, 0.9, true, nullptr, 900, 600)                                             \
    ZORVA_PLATE_MODEL(Hallon, "Hallon", 0.6, 1.2, true, nullptr, 1200, 600)                                            \
    ZORVA_PLATE_MODEL(Fennik, "Fennik", 0.603, 0.9, true, nullptr, 900, 603)                                           \
    ZORVA_PLATE_MODEL(Gorvin, "Gorvin", 0.9, 0.9, true, nullptr, 900, 900)                                             \
    ZORVA_PLATE_MODEL(Jastra, "Jastra", 1.2, 1.2, true, nullptr, 1200, 1200)                                           \
    ZORVA_PLATE_MODEL(Nubbet, "Nubbet", 0.61, 0.711, true, nullptr, 711, 610)                                          \
    ZORVA_PLATE_MODEL(Oskel, "Oskel", 0.61, 0.61, true, nullptr, 610, 610)                                             \
    ZORVA_PLATE_MODEL(Rimsa, "Rimsa", 0.61, 1.219, true, nullptr, 1219, 610)                                           \
    ZORVA_PLATE_MODEL(Sundel, "Sundel", 0.25, 0.5, true, nullptr, 500, 250)                                            \
    ZORVA_PLATE_MODEL(Sidebyside, "Sidebyside", 0.325, 1.373, true, nullptr, 1373, 325)                                \
    ZORVA_PLATE_MODEL(Treadmill, "TreadMill", 0.622, 0.718, true, "TREADMILL", 762, 622)                               \
    ZORVA_PLATE_MODEL(Yarrik, "Yarrik", 0.405, 1.04, true, nullptr, 1040, 405)                                         \
    ZORVA_PLATE_MODEL(Zibbet, "Zibbet", 0.762, 1.016, true, nullptr, 1016, 762)

namespace ZORVA {

/// One row of the table, for code that walks the models.
struct StandardPlateModel
{
    const char* name;
    /// Metres.
    double x, y;
    bool actions;
    const char* otherText;
    /// Millimetres; 0 when the size selects nothing.
    double matchY, matchX;
};

#define ZORVA_PLATE_MODEL_ROW(Tag, Name, X, Y, Actions, OtherText, MatchY, MatchX)                                     \
    {Name, X, Y, Actions, OtherText, MatchY, MatchX},
/// Row i is model index i + 1.
constexpr StandardPlateModel StandardPlateModels[] = {ZORVA_STANDARD_PLATE_MODELS(ZORVA_PLATE_MODEL_ROW)};
#undef ZORVA_PLATE_MODEL_ROW

/// Number of standard plate models; model indices run from 1 to this.
constexpr int StandardPlateModelCount = static_cast<int>(sizeof StandardPlateModels / sizeof StandardPlateModels[0]);

} // namespace ZORVA
