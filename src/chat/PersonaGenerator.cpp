#include "chat/PersonaGenerator.h"

#include <array>

#include "chat/Answers.h"
#include "chat/Random.h"
#include "text/Literal.h"

namespace tovik {

using namespace tovik::literals;

namespace {

struct PersonaList {
    std::string_view name;
    std::string_view values;
};

constexpr std::array<PersonaList, 7> kPersonaLists = {{
    {"PreNameM", "Frank|Thomas|Peter|Martin|Tom|Max|Dirk|Tobias|Benjamin|Paul|Timm|Mark|Marc"},
    {"PreNameF", "Maria|Tanja|Mandy|Alice|Katja|Claudia|Betti|Nancy|Nadine|Kate|Jane|Susi|Jenny|Sandy"},
    {"LastName", "Keller|Pranker|Schulz|Meier|Meyer|Kaiser|Kayser|Belz|Schranz|Pehl"},
    {"Location",
     "München|Frankfurt|Berlin|Hamburg|Bremen|Mainz|Main|Koblenz|Magdeburg|Leipzig|Düsseldorf|Duisburg|"
     "Kassel|Aachen|Köln"_w1252},
    {"Figure", "schlank|vollschlank|dick|fett|dünn|sehr dünn|gut gebaut"_w1252},
    {"HairColor", "blond|rot|grün|blau|braun|schwarz|bruinett"_w1252},
    {"EyeColor", "blau|grün|braun|grün-braun|blau-grün"_w1252},
}};

}  // namespace

std::string RandomPersonaValue(std::string_view listName, Random& random) {
    random.ReseedFromClock();
    for (const PersonaList& list : kPersonaLists)
        if (list.name == listName) return PickRandom(list.values, random);
    return {};
}

GeneratedPersona GeneratePersona(Random& random) {
    // The order of draws and reseeds is part of the behaviour: every list pick
    // reseeds from the clock, and each number is the next draw after the pick
    // before it.
    GeneratedPersona p;
    random.ReseedFromClock();
    p.sex = random.Below(2);
    p.preName = RandomPersonaValue(p.sex == 0 ? "PreNameM" : "PreNameF", random);
    p.lastName = RandomPersonaValue("LastName", random);
    p.location = RandomPersonaValue("Location", random);
    p.age = std::to_string(random.Below(37) + 14);
    p.hairColor = RandomPersonaValue("HairColor", random);
    p.eyeColor = RandomPersonaValue("EyeColor", random);
    p.size = "1," + std::to_string(random.Below(31) + 65);
    p.figure = RandomPersonaValue("Figure", random);
    p.weight = std::to_string(random.Below(56) + 65);
    p.hobbies = "lesen, tanzen, disco, freunde und compuer";
    return p;
}

}  // namespace tovik
