#include "payload/qvsml/user_list.h"

#include <gtest/gtest.h>

TEST(UserListTest, ParsesLinesAndNamesTheBadOne) {
  std::vector<MailUser> users;
  std::string err;
  ASSERT_TRUE(ParseUserList("# users\nAlice:$6$s$h\n\nbob:\ncarol:x:y", &users, &err)) << err;
  ASSERT_EQ(users.size(), 3u);
  EXPECT_EQ(users[0].name, "alice");
  EXPECT_EQ(users[0].password_hash, "$6$s$h");
  EXPECT_EQ(users[1].password_hash, "");
  EXPECT_EQ(users[2].password_hash, "x:y");
  EXPECT_EQ(FindUser(users, "ALICE")->name, "alice");
  EXPECT_FALSE(FindUser(users, "dave"));

  for (const char* text : {"alice:h\nno colon\n", "alice:h\n../x:h\n", "alice:h\n:h\n"}) {
    EXPECT_FALSE(ParseUserList(text, &users, &err)) << text;
    EXPECT_EQ(err, "line 2: not a user:password-hash line");
  }
}

TEST(UserListTest, ChecksPasswordsAgainstSha512Hashes) {
  std::string hash, err;
  ASSERT_TRUE(HashPassword("s3cret pass", &hash, &err)) << err;
  EXPECT_EQ(hash.rfind("$6$", 0), 0u) << hash;
  EXPECT_TRUE(CheckPassword("s3cret pass", hash));
  EXPECT_FALSE(CheckPassword("s3cret pas", hash));
  EXPECT_FALSE(CheckPassword("", hash));
  // The published SHA-crypt test vector.
  const std::string vector =
      "$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/"
      "O817G3uBnIFNjnQJuesI68u4OTLiBFdcbYEdFCoEOfaS"
      "35inz1";
  EXPECT_TRUE(CheckPassword("Hello world!", vector));
  EXPECT_FALSE(CheckPassword("Hello world", vector));
  // Locked or empty entries never match, even an empty password.
  for (const char* locked : {"", "!", "*", "!$6$x$y", "ab"})
    EXPECT_FALSE(CheckPassword("", locked));
}

TEST(UserListTest, APasswordHoldingANulIsNeitherHashedNorAccepted) {
  std::string hash, err;
  EXPECT_FALSE(HashPassword(std::string("sec\0ret", 7), &hash, &err));
  ASSERT_TRUE(HashPassword("sec", &hash, &err)) << err;
  // crypt(3) alone would stop at the NUL and take this for "sec".
  EXPECT_FALSE(CheckPassword(std::string("sec\0ret", 7), hash));
  EXPECT_TRUE(CheckPassword("sec", hash));
}
