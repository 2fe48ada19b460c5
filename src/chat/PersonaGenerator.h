#pragma once
// The random persona of the "&Generieren" button, drawn from built-in lists.

#include <string>
#include <string_view>

namespace tovik {

class Random;

// Reseeds from the clock, then picks from the named list ("PreNameM",
// "PreNameF", "LastName", "Location", "Figure", "HairColor", "EyeColor");
// empty for any other name.
std::string RandomPersonaValue(std::string_view listName, Random& random);

struct GeneratedPersona {
    int sex = 0;  // 0 "männlich", 1 "weiblich"
    std::string preName, lastName, location, age, hairColor, eyeColor, size, figure, weight, hobbies;
};

// The whole click, in its order of draws.
GeneratedPersona GeneratePersona(Random& random);

}  // namespace tovik
