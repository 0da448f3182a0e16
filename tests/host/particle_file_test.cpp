/// @file particle_file_test.cpp
/// @brief The particle file player: interpolation by id between frames, particles appearing
///        and vanishing, derived velocities and ages, the node's frame, the time offset, CSV
///        and JSON giving the same particles, clear errors, and the scene file.
#include "common/test_paths.h"
#include "test_objects.h"

#include "common/scripted_user_interface.h"
#include "common/temp_folder.h"

#include "host/inode.h"
#include "host/interface.h"
#include "host/node_transform.h"
#include "host/particles.h"
#include "host/properties.h"
#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using hosttest::PointNear;
using hosttest::SceneTest;

constexpr int kTPF = 160;

// Ids 3, 7 and 9 are particles 0, 1 and 2. Id 3 has velocities and ages; 7 is in frames 0
// and 1 only; 9 appears in frame 2.
constexpr const char *kCsv =
    "# three particles over three frames\n"
    "frame, id, x, y, z, vx, vy, vz, age\r\n"
    "\n"
    "0,7,0,0,0,,,,\n"
    "0,3,10,0,0,1,0,0,5\n"
    "1,3,11,0,0,1,0,0,6\n"
    "1,7,2,0,0,,,,\n"
    "2,9,0,5,0,,,,\n"
    "2,3,12,0,0,1,0,0,7\n";

constexpr const char *kJson = R"({
  "version": 1,
  "frames": [
    { "frame": 1, "particles": [
        { "id": 3, "position": [11, 0, 0], "velocity": [1, 0, 0], "age": 6 },
        { "id": 7, "position": [2, 0, 0] } ] },
    { "frame": 0, "particles": [
        { "id": 7, "position": [0, 0, 0] },
        { "id": 3, "position": [10, 0, 0], "velocity": [1, 0, 0], "age": 5 } ] },
    { "frame": 2, "particles": [
        { "id": 9, "position": [0, 5, 0] },
        { "id": 3, "position": [12, 0, 0], "velocity": [1, 0, 0], "age": 7 } ] }
  ]
})";

class ParticleFiles : public SceneTest {
protected:
    std::string Write(const std::string &name, const std::string &text) {
        const std::string p = folder_.Path(name);
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    /// A new particle file player on a new node.
    ParticleFileObject *Make(INode **node = nullptr) {
        auto *obj =
            static_cast<Object *>(CreateInstance(GEOMOBJECT_CLASS_ID, PARTICLE_FILE_CLASS_ID));
        EXPECT_NE(obj, nullptr);
        INode *n = GetCOREInterface()->CreateObjectNode(obj);
        if (node) *node = n;
        return dynamic_cast<ParticleFileObject *>(obj);
    }
    /// The load error of `text` saved as `name`.
    std::string ErrorOf(const std::string &name, const std::string &text) {
        ParticleFileObject *p = Make();
        EXPECT_FALSE(p->SetFileName(Write(name, text)));
        p->Update(0, nullptr);
        EXPECT_EQ(p->NumParticles(), 0);
        return p->GetLoadError();
    }

    testfiles::TempFolder folder_;
};

TEST_F(ParticleFiles, ParticlesMoveBetweenFramesByIdAndComeAndGo) {
    INode *node = nullptr;
    ParticleFileObject *p = Make(&node);
    ASSERT_TRUE(p->SetFileName(Write("three.csv", kCsv))) << p->GetLoadError();
    EXPECT_TRUE(p->GetLoadError().empty());
    EXPECT_EQ(p->GetInterface(I_PARTICLEOBJ), static_cast<ParticleObject *>(p));

    // Half way from frame 0 to 1: 3 and 7 move, 9 is not there yet.
    p->Update(kTPF / 2, node);
    ASSERT_EQ(p->NumParticles(), 3);
    EXPECT_TRUE(PointNear(p->GetParticlePosition(0), Point3(10.5f, 0, 0)));
    EXPECT_TRUE(PointNear(p->GetParticleVelocity(0), Point3(1.0f / kTPF, 0, 0)));
    EXPECT_EQ(p->GetParticleAge(0), 5 * kTPF + kTPF / 2);  // from the file's ages
    EXPECT_TRUE(PointNear(p->GetParticlePosition(1), Point3(1, 0, 0)));
    EXPECT_TRUE(PointNear(p->GetParticleVelocity(1), Point3(2.0f / kTPF, 0, 0)));  // derived
    EXPECT_EQ(p->GetParticleAge(1), kTPF / 2);  // since its first frame
    EXPECT_LT(p->GetParticleAge(2), 0);

    // On frame 1: 7's velocity comes from the frame before, as it is gone in the next.
    p->Update(kTPF, node);
    EXPECT_TRUE(PointNear(p->GetParticlePosition(1), Point3(2, 0, 0)));
    EXPECT_TRUE(PointNear(p->GetParticleVelocity(1), Point3(2.0f / kTPF, 0, 0)));
    EXPECT_EQ(p->GetParticleAge(1), kTPF);

    // Between frames 1 and 2, 7 has died and 9 is not born: both dead.
    p->Update(kTPF + 40, node);
    EXPECT_GE(p->GetParticleAge(0), 0);
    EXPECT_LT(p->GetParticleAge(1), 0);
    EXPECT_LT(p->GetParticleAge(2), 0);

    // On frame 2, 9 is born (no neighbour: no velocity).
    p->Update(2 * kTPF, node);
    EXPECT_TRUE(PointNear(p->GetParticlePosition(2), Point3(0, 5, 0)));
    EXPECT_EQ(p->GetParticleAge(2), 0);
    EXPECT_EQ(p->GetParticleVelocity(2), Point3());

    // Outside the file: nobody.
    for (TimeValue t : {-1, 2 * kTPF + 1}) {
        p->Update(t, node);
        for (int i = 0; i < p->NumParticles(); ++i) EXPECT_LT(p->GetParticleAge(i), 0);
    }
}

TEST_F(ParticleFiles, TheNodeAndTheTimeOffsetPlaceThePlayback) {
    INode *node = nullptr;
    ParticleFileObject *p = Make(&node);
    ASSERT_TRUE(p->SetFileName(Write("three.csv", kCsv)));
    node->SetRotation(0, EulerToQuat(Point3(0, 0, 90)));
    node->SetPosition(0, Point3(100, 0, 0));
    static_cast<IParamBlock *>(p->GetReference(0))->SetValue(PFILE_TIME_OFFSET, 0, kTPF);
    EXPECT_EQ(static_cast<IParamBlock *>(p->GetReference(0))->GetParamName(PFILE_TIME_OFFSET),
              "Time Offset");

    p->Update(kTPF, node);  // file frame 0
    EXPECT_TRUE(PointNear(p->GetParticlePosition(0), Point3(100, 10, 0)));
    EXPECT_TRUE(PointNear(p->GetParticleVelocity(0), Point3(0, 1.0f / kTPF, 0)));
    p->Update(kTPF - 1, node);  // before the file starts
    EXPECT_LT(p->GetParticleAge(0), 0);
}

TEST_F(ParticleFiles, JsonAndCsvPlayTheSame) {
    ParticleFileObject *csv = Make();
    ParticleFileObject *json = Make();
    ASSERT_TRUE(csv->SetFileName(Write("three.csv", kCsv)));
    ASSERT_TRUE(json->SetFileName(Write("three.JSON", kJson))) << json->GetLoadError();
    for (TimeValue t = -20; t < 2 * kTPF + 20; t += 17) {
        csv->Update(t, nullptr);
        json->Update(t, nullptr);
        ASSERT_EQ(csv->NumParticles(), json->NumParticles());
        for (int i = 0; i < csv->NumParticles(); ++i) {
            EXPECT_EQ(csv->GetParticlePosition(i), json->GetParticlePosition(i));
            EXPECT_EQ(csv->GetParticleVelocity(i), json->GetParticleVelocity(i));
            EXPECT_EQ(csv->GetParticleAge(i), json->GetParticleAge(i)) << "t = " << t;
        }
    }
}

TEST_F(ParticleFiles, ANegativeAgeMarksADeadParticle) {
    ParticleFileObject *p = Make();
    ASSERT_TRUE(p->SetFileName(Write("dead.csv",
                                     "frame,id,x,y,z,age\n"
                                     "0,1,0,0,0,0\n0,2,0,0,0,0\n"
                                     "1,1,1,0,0,1\n1,2,1,0,0,-1\n")));
    p->Update(kTPF, nullptr);
    EXPECT_EQ(p->GetParticleAge(0), kTPF);
    EXPECT_LT(p->GetParticleAge(1), 0);
    p->Update(kTPF / 2, nullptr);
    EXPECT_LT(p->GetParticleAge(1), 0);  // not in frame 1, so gone in between
}

TEST_F(ParticleFiles, BadFilesNameTheFileThePlaceAndWhatWasExpected) {
    struct Case {
        const char *name;
        const char *text;
        const char *expected;
    };
    const Case cases[] = {
        {"empty.csv", "# nothing\n\n", "expected a header line naming the columns"},
        {"columns.csv", "frame,id,x,y\n",
         ":1: expected a header line naming the columns "
         "frame,id,x,y,z[,vx,vy,vz][,age]; the column 'z'"},
        {"twice.csv", "frame,id,x,y,z,X\n", ":1: the column 'x' is named twice"},
        {"velocity.csv", "frame,id,x,y,z,vx,vy\n", "all three columns vx, vy and vz"},
        {"number.csv", "frame,id,x,y,z\n0,1,0,0,0\n0,2,1;5,0,0\n",
         ":3: column 'x': expected a number, found '1;5'"},
        {"id.csv", "frame,id,x,y,z\n0,1.5,0,0,0\n", ":2: column 'id': expected an integer"},
        {"fields.csv", "frame,id,x,y,z\n0,1,0,0\n", ":2: expected 5 comma-separated fields"},
        {"partial.csv", "frame,id,x,y,z,vx,vy,vz\n0,1,0,0,0,1,,\n",
         ":2: give all of vx, vy and vz, or none"},
        {"inf.csv", "frame,id,x,y,z\n0,1,inf,0,0\n", "expected a number, found 'inf'"},
        {"dup.csv", "frame,id,x,y,z\n0,1,0,0,0\n1,1,0,0,0\n0,1,2,0,0\n",
         "line 4: particle id 1 appears twice in frame 0 (also at line 2)"},
        {"syntax.json", "{\"frames\": [", "JSON syntax error at byte"},
        {"version.json", R"({"version": 2, "frames": []})", "/version: expected 1"},
        {"frames.json", R"({"frame": []})", "/frames: expected an array of frames"},
        {"position.json",
         R"({"frames": [{"frame": 0, "particles": [{"id": 1, "position": [0, 0, 0]},
                                                   {"id": 2, "position": [0, "a", 0]}]}]})",
         "/frames/0/particles/1/position: expected an array of 3 numbers"},
        {"id.json", R"({"frames": [{"frame": 0, "particles": [{"position": [0, 0, 0]}]}]})",
         "/frames/0/particles/0/id: expected an integer"},
    };
    for (const Case &c : cases) {
        const std::string error = ErrorOf(c.name, c.text);
        EXPECT_NE(error.find(c.name), std::string::npos) << error;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
    ParticleFileObject *p = Make();
    EXPECT_FALSE(p->SetFileName(folder_.Path("missing.csv")));
    EXPECT_NE(p->GetLoadError().find("missing.csv: cannot open"), std::string::npos)
        << p->GetLoadError();
}

TEST_F(ParticleFiles, TheFileIsAPropertyThatRefusesUnreadableFiles) {
    ParticleFileObject *p = Make();
    IObjectProperties *props = GetObjectProperties(p);
    ASSERT_NE(props, nullptr);
    ASSERT_EQ(props->ListProperties().size(), 1u);
    EXPECT_EQ(props->ListProperties()[0].name, "File");
    EXPECT_EQ(props->ListProperties()[0].kind, PropertyKind::String);

    std::string error;
    const std::string good = Write("three.csv", kCsv);
    ASSERT_TRUE(props->SetProperty("File", good, error)) << error;
    EXPECT_EQ(std::get<std::string>(*props->GetProperty("File")), good);

    // A bad file, a wrong type or name: refused with a reason, and the good file stays.
    const std::string bad = Write("bad.csv", "frame,id,x\n");
    EXPECT_FALSE(props->SetProperty("File", bad, error));
    EXPECT_NE(error.find("bad.csv:1:"), std::string::npos) << error;
    EXPECT_FALSE(props->SetProperty("File", 3, error));
    EXPECT_NE(error.find("expects a file path"), std::string::npos) << error;
    EXPECT_FALSE(props->SetProperty("Path", good, error));
    EXPECT_NE(error.find("\"Path\" is not a property"), std::string::npos) << error;
    EXPECT_FALSE(props->GetProperty("Path").has_value());
    EXPECT_EQ(p->GetFileName(), good);
    EXPECT_TRUE(p->GetLoadError().empty());
    p->Update(kTPF / 2, nullptr);
    EXPECT_EQ(p->NumParticles(), 3);

    // Emitters have no properties beyond their parameters.
    auto *spray = static_cast<Object *>(CreateInstance(GEOMOBJECT_CLASS_ID, SPRAY_CLASS_ID));
    EXPECT_EQ(GetObjectProperties(spray), nullptr);
    spray->DeleteThis();
}

TEST_F(ParticleFiles, ThePathSurvivesTheSceneFileAndAMissingFileIsReportedOnce) {
    INode *node = nullptr;
    ParticleFileObject *p = Make(&node);
    node->SetName("Cache");
    const std::string path = Write("three.csv", kCsv);
    ASSERT_TRUE(p->SetFileName(path));
    p->Update(kTPF / 2, node);
    const Point3 before = p->GetParticlePosition(0);

    const std::vector<std::uint8_t> saved = SaveSceneToMemory();
    Interface *ip = GetCOREInterface();
    ip->ResetScene();
    LoadSceneFromMemory(saved, "cache.nsc");
    node = ip->GetINodeByName("Cache");
    ASSERT_NE(node, nullptr);
    p = dynamic_cast<ParticleFileObject *>(node->GetObjectRef());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetFileName(), path);
    p->Update(kTPF / 2, node);  // read on first use
    EXPECT_EQ(p->GetParticlePosition(0), before);

    // The file went away: the next load of the scene plays nothing and says so, once.
    fs::remove(path);
    ScriptedUserInterface ui;
    LoadSceneFromMemory(saved, "cache.nsc");
    p = dynamic_cast<ParticleFileObject *>(ip->GetINodeByName("Cache")->GetObjectRef());
    for (TimeValue t : {0, 80, 160}) p->Update(t, nullptr);
    EXPECT_EQ(p->NumParticles(), 0);
    const auto messages = ui.MessagesTitled("Particle File");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].text.find("three.csv: cannot open"), std::string::npos);
}

// Files the particle file fuzzers found (tests/data/particles): each is refused with a message
// that names it, or plays every particle dead or with an age from 0 on.
TEST_F(ParticleFiles, DamagedFilesAreRefusedByNameOrPlay) {
    const fs::path data = fs::path(testpaths::TestDataDir()) / "particles";
    int files = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator(data)) {
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        ++files;
        ParticleFileObject *p = Make();
        if (!p->SetFileName(path)) {
            EXPECT_EQ(p->GetLoadError().rfind(path + ": ", 0), 0u) << p->GetLoadError();
            EXPECT_EQ(p->GetLoadError().find("json.exception"), std::string::npos);
            continue;
        }
        for (const TimeValue t : {0, kTPF / 2, kTPF, 100 * kTPF}) {
            p->Update(t, nullptr);
            for (int i = 0; i < p->NumParticles(); ++i) EXPECT_GE(p->GetParticleAge(i), -1);
        }
    }
    EXPECT_GT(files, 0);
}

TEST_F(ParticleFiles, TheExampleFilesPlay) {
    const fs::path examples = fs::path(testpaths::SourceDir()) / "examples" / "particles";
    ParticleFileObject *csv = Make();
    ASSERT_TRUE(csv->SetFileName((examples / "burst.csv").string())) << csv->GetLoadError();
    csv->Update(10 * kTPF, nullptr);
    EXPECT_EQ(csv->NumParticles(), 12);
    int alive = 0;
    for (int i = 0; i < csv->NumParticles(); ++i) {
        if (csv->GetParticleAge(i) < 0) continue;
        ++alive;
        EXPECT_EQ(csv->GetParticleAge(i), 10 * kTPF);
        EXPECT_GT(csv->GetParticlePosition(i).z, 0.0f);
    }
    EXPECT_EQ(alive, 12);

    ParticleFileObject *json = Make();
    ASSERT_TRUE(json->SetFileName((examples / "burst.json").string())) << json->GetLoadError();
    json->Update(kTPF + kTPF / 2, nullptr);
    ASSERT_EQ(json->NumParticles(), 3);
    EXPECT_GE(json->GetParticleAge(0), 0);
    EXPECT_LT(json->GetParticleAge(1), 0);  // vanishes after frame 1
    EXPECT_GE(json->GetParticleAge(2), 0);  // appeared in frame 1
}

}  // namespace
