#pragma once
// Message classifier and word splitter: a private message's text becomes the
// list of conversation categories it touches, in detection order.

#include <string>
#include <string_view>

namespace tovik {

// True when key occurs in text, both lowercased with the Windows-1252 rules.
bool ContainsText(std::string_view text, std::string_view key);

// Words split at the 23 delimiters  blank . ! ? , ; : ( ) = * # ' + - } ] [ { & $ " ^
int WordCount(std::string_view text);
std::string WordAt(std::string_view text, int n);  // 1-based; empty outside 1..WordCount

// The tag list, e.g. "greeting;age;" — tags in detection order.
std::string Classify(std::string_view message);

// Builds the classifier's tables now (they are built once, at the first
// use), so that the first message a partner sends does not wait for them.
void PrepareClassifier();

}  // namespace tovik
