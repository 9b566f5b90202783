#!/usr/bin/env python3
"""Writes the demo data of `chartloom demo`: library.json, feeds/ and playlists/.

Run from anywhere: python3 data/demo/make_demo.py. The output is deterministic, so the
committed files can be regenerated and diffed.
"""
import json
import os
import random
import shutil
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))

# Albums: (artist values, folder, album, extension, tracks). Titles as the tags would hold them.
ALBUMS = [
    (["Blur"], "Blur", "Parklife", "flac", [
        "Girls & Boys", "Tracy Jacks", "End of a Century", "Parklife", "Bank Holiday", "Badhead",
        "The Debt Collector", "Far Out", "To the End", "London Loves",
        "Trouble in the Message Centre", "Clover Over Dover", "Magic America", "Jubilee",
        "This Is a Low", "Lot 105"]),
    (["Blur"], "Blur", "The Great Escape", "flac", [
        "Stereotypes", "Country House", "Best Days", "Charmless Man", "Fade Away", "Top Man",
        "The Universal", "Mr. Robinson's Quango", "He Thought of Cars", "It Could Be You",
        "Ernold Same", "Globe Alone", "Dan Abnormal", "Entertain Me", "Yuko and Hiro"]),
    (["Blur"], "Blur", "Blur", "flac", [
        "Beetlebum", "Song 2", "Country Sad Ballad Man", "M.O.R.", "On Your Own",
        "Theme from Retro", "You're So Great", "Death of a Party", "Chinese Bombs",
        "I'm Just a Killer for Your Love", "Look Inside America",
        "Strange News from Another Star", "Movin' On", "Essex Dogs"]),
    (["Blur"], "Blur", "Live at Wembley", "flac", [
        "Girls & Boys (Live at Wembley)", "Song 2 (Live at Wembley)",
        "Coffee & TV (Live at Wembley)", "Tender (Live at Wembley)",
        "The Universal (Live at Wembley)"]),
    (["AC/DC"], "AC_DC", "Highway to Hell", "flac", [
        "Highway to Hell", "Girls Got Rhythm", "Walk All Over You", "Touch Too Much",
        "Beating Around the Bush", "Shot Down in Flames", "Get It Hot",
        "If You Want Blood (You've Got It)", "Love Hungry Man", "Night Prowler"]),
    (["AC/DC"], "AC_DC", "Back in Black", "flac", [
        "Hells Bells", "Shoot to Thrill", "What Do You Do for Money Honey", "Given the Dog a Bone",
        "Let Me Put My Love into You", "Back in Black", "You Shook Me All Night Long",
        "Have a Drink on Me", "Shake a Leg", "Rock and Roll Ain't Noise Pollution"]),
    (["AC/DC"], "AC_DC", "The Razors Edge", "flac", [
        "Thunderstruck", "Fire Your Guns", "Moneytalks", "The Razors Edge",
        "Mistress for Christmas", "Rock Your Heart Out", "Are You Ready", "Got You by the Balls",
        "Shot of Love", "Let's Make It", "Goodbye & Good Riddance to Bad Luck", "If You Dare"]),
    (["AC/DC"], "AC_DC", "Live", "mp3", [
        "Thunderstruck (Live)", "Highway to Hell (Live)", "T.N.T. (Live)",
        "Whole Lotta Rosie (Live)", "Back in Black (Live)"]),
    (["Simon & Garfunkel"], "Simon & Garfunkel", "Bookends", "flac", [
        "Bookends Theme", "Save the Life of My Child", "America", "Overs",
        "Voices of Old People", "Old Friends", "Bookends Theme", "Fakin' It",
        "Punky's Dilemma", "Mrs. Robinson", "A Hazy Shade of Winter", "At the Zoo"]),
    (["Simon & Garfunkel"], "Simon & Garfunkel", "Bridge over Troubled Water", "flac", [
        "Bridge over Troubled Water", "El Condor Pasa (If I Could)", "Cecilia",
        "Keep the Customer Satisfied", "So Long, Frank Lloyd Wright", "The Boxer", "Baby Driver",
        "The Only Living Boy in New York", "Why Don't You Write Me", "Bye Bye Love",
        "Song for the Asking"]),
    (["Simon & Garfunkel"], "Simon & Garfunkel", "The Concert in Central Park", "flac", [
        "Mrs. Robinson (Live in Central Park)", "Scarborough Fair/Canticle (Live in Central Park)",
        "The Boxer (Live in Central Park)", "The Sound of Silence (Live in Central Park)",
        "Old Friends (Live in Central Park)"]),
    (["Björk"], "Björk", "Debut", "flac", [
        "Human Behaviour", "Crying", "Venus as a Boy", "There's More to Life Than This",
        "Like Someone in Love", "Big Time Sensuality", "One Day", "Aeroplane", "Come to Me",
        "Violently Happy", "The Anchor Song"]),
    (["Björk"], "Björk", "Post", "flac", [
        "Army of Me", "Hyperballad", "The Modern Things", "It's Oh So Quiet", "Enjoy",
        "You've Been Flirting Again", "Isobel", "Possibly Maybe", "I Miss You", "Cover Me",
        "Headphones"]),
    (["Björk"], "Björk", "Homogenic", "flac", [
        "Hunter", "Jóga", "Unravel", "Bachelorette", "All Neon Like", "5 Years", "Immature",
        "Alarm Call", "Pluto", "All Is Full of Love"]),
    (["Sigur Rós"], "Sigur Rós", "Ágætis byrjun", "flac", [
        "Intro", "Svefn-g-englar", "Starálfur", "Flugufrelsarinn", "Ný batterí",
        "Hjartað hamast (bamm bamm bamm)", "Viðrar vel til loftárása", "Olsen Olsen",
        "Ágætis byrjun", "Avalon"]),
    (["Sigur Rós"], "Sigur Rós", "Takk...", "flac", [
        "Takk...", "Glósóli", "Hoppípolla", "Með blóðnasir", "Sé lest", "Sæglópur", "Mílanó",
        "Gong", "Andvari", "Svo hljótt", "Heysátan"]),
    (["Sigur Rós"], "Sigur Rós", "Með suð í eyrum við spilum endalaust", "flac", [
        "Gobbledigook", "Inní mér syngur vitleysingur", "Góðan daginn", "Við spilum endalaust",
        "Festival", "Með suð í eyrum", "Ára bátur", "Illgresi", "Fljótavík", "Straumnes",
        "All Alright"]),
    (["Radiohead"], "Radiohead", "The Bends", "flac", [
        "Planet Telex", "The Bends", "High and Dry", "Fake Plastic Trees", "Bones",
        "(Nice Dream)", "Just", "My Iron Lung", "Bullet Proof..I Wish I Was", "Black Star",
        "Sulk", "Street Spirit (Fade Out)"]),
    (["Radiohead"], "Radiohead", "OK Computer", "flac", [
        "Airbag", "Paranoid Android", "Subterranean Homesick Alien", "Exit Music (For a Film)",
        "Let Down", "Karma Police", "Fitter Happier", "Electioneering", "Climbing Up the Walls",
        "No Surprises", "Lucky", "The Tourist"]),
    (["Radiohead"], "Radiohead", "Kid A", "flac", [
        "Everything in Its Right Place", "Kid A", "The National Anthem",
        "How to Disappear Completely", "Treefingers", "Optimistic", "In Limbo", "Idioteque",
        "Morning Bell", "Motion Picture Soundtrack"]),
    (["The Beatles"], "The Beatles", "Help!", "flac", [
        "Help!", "The Night Before", "You've Got to Hide Your Love Away", "I Need You",
        "Another Girl", "You're Going to Lose That Girl", "Ticket to Ride", "Act Naturally",
        "It's Only Love", "You Like Me Too Much", "Tell Me What You See",
        "I've Just Seen a Face", "Yesterday", "Dizzy Miss Lizzy"]),
    (["The Beatles"], "The Beatles", "Abbey Road", "flac", [
        "Come Together", "Something", "Maxwell's Silver Hammer", "Oh! Darling",
        "Octopus's Garden", "I Want You (She's So Heavy)", "Here Comes the Sun", "Because",
        "You Never Give Me Your Money", "Sun King", "Mean Mr. Mustard", "Polythene Pam",
        "She Came In Through the Bathroom Window", "Golden Slumbers", "Carry That Weight",
        "The End", "Her Majesty"]),
    (["The Beatles"], "The Beatles", "Let It Be", "flac", [
        "Two of Us", "Dig a Pony", "Across the Universe", "I Me Mine", "Dig It", "Let It Be",
        "Maggie Mae", "I've Got a Feeling", "One After 909", "The Long and Winding Road",
        "For You Blue", "Get Back"]),
    (["Oasis"], "Oasis", "Definitely Maybe", "flac", [
        "Rock 'n' Roll Star", "Shakermaker", "Live Forever", "Up in the Sky", "Columbia",
        "Supersonic", "Bring It On Down", "Cigarettes & Alcohol", "Digsy's Dinner",
        "Slide Away", "Married with Children"]),
    (["Oasis"], "Oasis", "(What's the Story) Morning Glory", "flac", [
        "Hello", "Roll with It", "Wonderwall", "Don't Look Back in Anger", "Hey Now!",
        "The Swamp Song (Excerpt 1)", "Some Might Say", "Cast No Shadow", "She's Electric",
        "Morning Glory", "The Swamp Song (Excerpt 2)", "Champagne Supernova"]),
    (["Pulp"], "Pulp", "His 'n' Hers", "flac", [
        "Joyriders", "Lipgloss", "Acrylic Afternoons", "Have You Seen Her Lately?", "Babies",
        "She's a Lady", "Happy Endings", "Do You Remember the First Time?", "Pink Glove",
        "Someone Like the Moon", "David's Last Summer"]),
    (["Pulp"], "Pulp", "Different Class", "flac", [
        "Mis-Shapes", "Pencil Skirt", "Common People", "I Spy", "Disco 2000", "Live Bed Show",
        "Something Changed", "Sorted for E's & Wizz", "F.E.E.L.I.N.G.C.A.L.L.E.D.L.O.V.E.",
        "Underwear", "Monday Morning", "Bar Italia"]),
    (["Massive Attack"], "Massive Attack", "Blue Lines", "flac", [
        "Safe from Harm", "One Love", "Blue Lines", "Be Thankful for What You've Got",
        "Five Man Army", "Unfinished Sympathy", "Daydreaming", "Lately", "Hymn of the Big Wheel"]),
    (["Massive Attack"], "Massive Attack", "Mezzanine", "flac", [
        "Angel", "Risingson", "Teardrop", "Inertia Creeps", "Exchange", "Dissolved Girl",
        "Man Next Door", "Black Milk", "Mezzanine", "Group Four", "(Exchange)"]),
    (["Portishead"], "Portishead", "Dummy", "flac", [
        "Mysterons", "Sour Times", "Strangers", "It Could Be Sweet", "Wandering Star",
        "It's a Fire", "Numb", "Roads", "Pedestal", "Biscuit", "Glory Box"]),
    (["Portishead"], "Portishead", "Portishead", "flac", [
        "Cowboys", "All Mine", "Undenied", "Half Day Closing", "Over", "Humming",
        "Mourning Air", "Seven Months", "Only You", "Elysium", "Western Eyes"]),
    (["Portishead"], "Portishead", "Roseland NYC Live", "mp3", [
        "Humming (Live at Roseland)", "Sour Times (Live at Roseland)",
        "Roads (Live at Roseland)", "Glory Box (Live at Roseland)"]),
    (["Motörhead"], "Motörhead", "Ace of Spades", "flac", [
        "Ace of Spades", "Love Me Like a Reptile", "Shoot You in the Back", "Live to Win",
        "Fast and Loose", "(We Are) The Road Crew", "Fire, Fire", "Jailbait", "Dance",
        "Bite the Bullet", "The Chase Is Better Than the Catch", "The Hammer"]),
    (["Motörhead"], "Motörhead", "No Sleep 'til Hammersmith", "mp3", [
        "Overkill (Live)", "Bomber (Live)", "Stay Clean (Live)", "No Class (Live)"]),
    (["The Verve"], "The Verve", "Urban Hymns", "flac", [
        "Bitter Sweet Symphony", "Sonnet", "The Rolling People", "The Drugs Don't Work",
        "Catching the Butterfly", "Neon Wilderness", "Space and Time", "Weeping Willow",
        "Lucky Man", "One Day", "This Time", "Velvet Morning", "Come On"]),
]

# Copies of album tracks at other bit rates: (album track path, new path, title, bitrate,
# play counter or None).
DUPLICATES = [
    ("Blur/Blur/02 Song 2.flac", "Blur/Singles/Song 2.mp3", "Song 2", "192", "31"),
    ("Oasis/(What's the Story) Morning Glory/03 Wonderwall.flac",
     "Oasis/Singles/Wonderwall.mp3", "wonderwall", "128", "25"),
    ("Oasis/(What's the Story) Morning Glory/03 Wonderwall.flac",
     "Oasis/Singles/Wonderwall (320).mp3", "Wonderwall", "320", "25"),
    ("Radiohead/OK Computer/06 Karma Police.flac",
     "Radiohead/Singles/Karma Police.mp3", "Karma Police", "256", None),
    ("The Beatles/Help!/13 Yesterday.flac", "The Beatles/1/Yesterday.mp3", "Yesterday", "320",
     "40"),
    ("AC_DC/Back in Black/06 Back in Black.flac", "AC_DC/Singles/Back in Black.mp3",
     "Back in Black", "128", "3"),
]
# Play counters that the demo relies on (the rest are random, some absent).
PLAY_COUNTERS = {
    "Blur/Blur/02 Song 2.flac": "12",
    "Oasis/(What's the Story) Morning Glory/03 Wonderwall.flac": "25",
    "Radiohead/OK Computer/06 Karma Police.flac": None,
    "The Beatles/Help!/13 Yesterday.flac": "40",
}
# A second artist value on a track.
EXTRA_ARTISTS = {"Massive Attack/Mezzanine/03 Teardrop.flac": ["Elizabeth Fraser"]}
UNREADABLE = ["Incoming/broken download.mp3", "Incoming/Unknown Artist - Track 01.flac"]

# Charts, most reached first. Titles that no library track holds are part of the point.
CHARTS = {
    "Blur": (1650000, [
        "Song 2", "Coffee & TV", "Girls & Boys", "Parklife", "Tender", "The Universal",
        "Beetlebum", "Country House", "Charmless Man", "End of a Century", "On Your Own",
        "This Is a Low", "Out of Time", "Under the Westway", "M.O.R."]),
    "AC/DC": (2400000, [
        "Highway to Hell", "Back in Black", "Thunderstruck", "You Shook Me All Night Long",
        "T.N.T.", "Hells Bells", "Shoot to Thrill", "Whole Lotta Rosie",
        "Dirty Deeds Done Dirt Cheap",
        "It's a Long Way to the Top (If You Wanna Rock 'n' Roll)", "Moneytalks", "Are You Ready",
        "Rock and Roll Ain't Noise Pollution", "Touch Too Much",
        "If You Want Blood (You've Got It)"]),
    "Simon & Garfunkel": (1900000, [
        "The Sound of Silence", "Mrs. Robinson", "The Boxer", "Bridge over Troubled Water",
        "Cecilia", "Scarborough Fair/Canticle", "America", "A Hazy Shade of Winter",
        "El Condor Pasa (If I Could)", "Homeward Bound", "The Only Living Boy in New York",
        "April Come She Will", "Kathy's Song", "Old Friends", "Baby Driver"]),
    "Björk": (1200000, [
        "Army of Me", "Jóga", "Hyperballad", "It's Oh So Quiet", "Human Behaviour",
        "Bachelorette", "All Is Full of Love", "Venus as a Boy", "Hunter", "Isobel",
        "Big Time Sensuality", "Pagan Poetry", "Cocoon", "Play Dead", "Unravel"]),
    "Sigur Rós": (980000, [
        "Hoppípolla", "Svefn-g-englar", "Glósóli", "Starálfur", "Sæglópur", "Gobbledigook",
        "Við spilum endalaust", "Ný batterí", "Takk...", "Olsen Olsen", "Vaka",
        "Inní mér syngur vitleysingur", "Festival", "Andvari", "Kveikur"]),
    "Radiohead": (3100000, [
        "Creep", "Karma Police", "No Surprises", "Paranoid Android", "High and Dry",
        "Fake Plastic Trees", "Street Spirit (Fade Out)", "Exit Music (For a Film)", "Let Down",
        "Everything in Its Right Place", "Just", "Reckoner", "Weird Fishes/Arpeggi",
        "Idioteque", "Lucky"]),
    "The Beatles": (3300000, [
        "Here Comes the Sun", "Come Together", "Let It Be", "Yesterday", "Hey Jude",
        "Something", "Help!", "Blackbird", "Twist and Shout", "Across the Universe", "Get Back",
        "Ticket to Ride", "Golden Slumbers", "Octopus's Garden", "In My Life"]),
    "Oasis": (2600000, [
        "Wonderwall", "Don't Look Back in Anger", "Champagne Supernova", "Live Forever",
        "Stop Crying Your Heart Out", "Supersonic", "Stand by Me", "Some Might Say",
        "Morning Glory", "Cigarettes & Alcohol", "Half the World Away", "Whatever",
        "Slide Away", "Rock 'n' Roll Star", "Cast No Shadow"]),
    "Pulp": (1100000, [
        "Common People", "Disco 2000", "Babies", "Do You Remember the First Time?",
        "Something Changed", "Mis-Shapes", "Lipgloss", "This Is Hardcore",
        "Sorted for E's & Wizz", "Underwear", "Bar Italia", "Help the Aged", "Joyriders",
        "Pencil Skirt", "F.E.E.L.I.N.G.C.A.L.L.E.D.L.O.V.E."]),
    "Massive Attack": (1750000, [
        "Teardrop", "Angel", "Unfinished Sympathy", "Paradise Circus", "Protection",
        "Safe from Harm", "Karmacoma", "Inertia Creeps", "Dissolved Girl", "Risingson",
        "Black Milk", "Exchange", "Blue Lines", "Five Man Army", "Butterfly Caught"]),
    "Portishead": (1500000, [
        "Glory Box", "Sour Times", "Roads", "Wandering Star", "Numb", "Machine Gun", "All Mine",
        "Only You", "The Rip", "Over", "Biscuit", "Strangers", "Mysterons", "Cowboys",
        "It Could Be Sweet"]),
    "Motörhead": (1400000, [
        "Ace of Spades", "Overkill", "Killed by Death", "Orgasmatron", "Bomber", "Iron Fist",
        "Love Me Like a Reptile", "The Chase Is Better Than the Catch",
        "(We Are) The Road Crew", "Jailbait", "Stay Clean", "No Class",
        "Shoot You in the Back", "Live to Win", "Fast and Loose"]),
}

# Similar artists with their match, most similar first; library artists and others mixed.
SIMILAR = {
    "Blur": [("Pulp", "100"), ("Oasis", "94"), ("Supergrass", "88"), ("Suede", "85"),
             ("Elastica", "80"), ("The Verve", "74"), ("Gorillaz", "70"), ("Radiohead", "62"),
             ("Manic Street Preachers", "58"), ("Ocean Colour Scene", "55"),
             ("Kula Shaker", "51"), ("The Beatles", "40")],
    "AC/DC": [("Led Zeppelin", "100"), ("Guns N' Roses", "96"), ("Aerosmith", "90"),
              ("Deep Purple", "88"), ("Black Sabbath", "85"), ("Kiss", "82"),
              ("Motörhead", "78"), ("Scorpions", "75"), ("Van Halen", "73"),
              ("Thin Lizzy", "70"), ("Def Leppard", "66"), ("Rose Tattoo", "60")],
    "Simon & Garfunkel": [("Paul Simon", "100"), ("Art Garfunkel", "92"),
                          ("Cat Stevens", "85"), ("The Mamas & the Papas", "81"),
                          ("Bob Dylan", "78"), ("Crosby, Stills, Nash & Young", "74"),
                          ("The Byrds", "70"), ("Joni Mitchell", "68"), ("The Beatles", "60"),
                          ("James Taylor", "58"), ("The Everly Brothers", "55"),
                          ("Donovan", "50")],
    "Björk": [("Múm", "100"), ("The Sugarcubes", "96"), ("Portishead", "85"),
              ("Massive Attack", "82"), ("Radiohead", "78"), ("Sigur Rós", "77"),
              ("PJ Harvey", "70"), ("Goldfrapp", "68"), ("Kate Bush", "65"), ("Tricky", "62"),
              ("Lamb", "60"), ("Moloko", "55")],
    "Sigur Rós": [("Jónsi", "100"), ("Múm", "92"), ("Amiina", "88"),
                  ("Explosions in the Sky", "85"), ("Björk", "80"), ("Radiohead", "76"),
                  ("Mogwai", "74"), ("Ólafur Arnalds", "70"), ("Hammock", "66"),
                  ("Efterklang", "62"), ("God Is an Astronaut", "60"), ("Portishead", "45")],
    "Radiohead": [("Thom Yorke", "100"), ("Atoms for Peace", "92"), ("Muse", "87.5"),
                  ("Coldplay", "82"), ("Blur", "75"), ("Portishead", "72"), ("The Verve", "70"),
                  ("Massive Attack", "68"), ("Sigur Rós", "65"), ("Björk", "60"),
                  ("Pulp", "58"), ("Oasis", "55"), ("Travis", "52")],
    "The Beatles": [("John Lennon", "100"), ("Paul McCartney", "96"),
                    ("George Harrison", "92"), ("The Rolling Stones", "85"), ("Wings", "82"),
                    ("The Kinks", "78"), ("The Who", "74"), ("The Beach Boys", "72"),
                    ("Simon & Garfunkel", "68"), ("The Byrds", "65"), ("Oasis", "60"),
                    ("Bob Dylan", "58")],
    "Oasis": [("Liam Gallagher", "100"), ("Noel Gallagher's High Flying Birds", "98"),
              ("Beady Eye", "92"), ("Blur", "85"), ("The Verve", "82"),
              ("Ocean Colour Scene", "78"), ("Pulp", "74"), ("Kasabian", "70"),
              ("The Stone Roses", "68"), ("Stereophonics", "65"), ("Kula Shaker", "60"),
              ("The Beatles", "55")],
    "Pulp": [("Jarvis Cocker", "100"), ("Suede", "94"), ("Blur", "90"), ("Elastica", "84"),
             ("Oasis", "80"), ("Supergrass", "78"), ("Sleeper", "72"), ("Echobelly", "70"),
             ("The Divine Comedy", "66"), ("The Verve", "62"), ("Gene", "58"),
             ("Radiohead", "52")],
    "Massive Attack": [("Portishead", "100"), ("Tricky", "96"), ("Morcheeba", "88"),
                       ("Thievery Corporation", "84"), ("Zero 7", "82"), ("Björk", "76"),
                       ("Lamb", "74"), ("Moloko", "70"), ("Air", "68"), ("Hooverphonic", "65"),
                       ("UNKLE", "62"), ("Radiohead", "55")],
    "Portishead": [("Beth Gibbons", "100"), ("Massive Attack", "97"), ("Tricky", "92"),
                   ("Lamb", "86"), ("Morcheeba", "84"), ("Björk", "78"), ("Hooverphonic", "75"),
                   ("Goldfrapp", "72"), ("Sneaker Pimps", "70"), ("Mazzy Star", "66"),
                   ("Air", "62"), ("Sigur Rós", "50")],
    "Motörhead": [("Saxon", "100"), ("Venom", "94"), ("Iron Maiden", "90"),
                  ("Judas Priest", "88"), ("Black Sabbath", "84"), ("AC/DC", "80"),
                  ("Diamond Head", "76"), ("Tank", "72"), ("Girlschool", "70"),
                  ("Thin Lizzy", "66"), ("Anthrax", "62"), ("Metallica", "60")],
}
# Artists in the library that the chart service does not know.
UNKNOWN_TO_SERVICE = ["The Verve"]

PLAYLIST = ("Demo Mix", [
    "Blur/The Great Escape/07 The Universal.flac",
    "Radiohead/OK Computer/06 Karma Police.flac",
    "Blur/Parklife/04 Parklife.flac",
    "Oasis/(What's the Story) Morning Glory/03 Wonderwall.flac",
    "Blur/Blur/01 Beetlebum.flac",
    "Portishead/Dummy/11 Glory Box.flac",
    "Blur/Parklife/15 This Is a Low.flac",
    "Björk/Post/01 Army of Me.flac",
    "Blur/Parklife/01 Girls & Boys.flac",
    "Pulp/Different Class/03 Common People.flac",
    "Blur/Live at Wembley/04 Tender (Live at Wembley).flac",
    "Blur/Parklife/16 Lot 105.flac",
    "Blur/Blur/02 Song 2.flac",
])


def encode_artist(name):
    """The artist's path segment: / and & escaped twice, other bytes but [A-Za-z0-9_-] once."""
    out = []
    for byte in name.encode("utf-8"):
        char = chr(byte)
        if char == "/":
            out.append("%252F")
        elif char == "&":
            out.append("%2526")
        elif byte < 0x80 and (char.isalnum() or char in "_-"):
            out.append(char)
        else:
            out.append("%%%02X" % byte)
    return "".join(out)


def file_name(title):
    return title.replace("/", "_")


def build_library():
    rng = random.Random(2006)
    tracks = []
    by_path = {}
    for artists, folder, album, ext, titles in ALBUMS:
        for number, title in enumerate(titles, start=1):
            path = "%s/%s/%02d %s.%s" % (folder, album, number, file_name(title), ext)
            meta = {"artist": artists + EXTRA_ARTISTS.get(path, []), "title": [title]}
            if path in PLAY_COUNTERS:
                counter = PLAY_COUNTERS[path]
            else:
                counter = None if rng.random() < 0.2 else str(rng.randint(0, 30))
            if counter is not None:
                meta["PLAY_COUNTER"] = [counter]
            bitrate = str(rng.randint(780, 1080)) if ext == "flac" else "320"
            track = {"path": path, "meta": meta, "info": {"bitrate": bitrate}}
            tracks.append(track)
            by_path[path] = track
    for original, path, title, bitrate, counter in DUPLICATES:
        meta = {"artist": list(by_path[original]["meta"]["artist"]), "title": [title]}
        if counter is not None:
            meta["PLAY_COUNTER"] = [counter]
        track = {"path": path, "meta": meta, "info": {"bitrate": bitrate}}
        tracks.append(track)
        by_path[path] = track
    for path in UNREADABLE:
        tracks.append({"path": path, "unreadable": True})
    return tracks, by_path


def attribute(text):
    return escape(text, {'"': "&quot;"})


def write_text(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write(text)


def top_tracks_xml(artist, top_reach, titles):
    rng = random.Random(artist)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<mostknowntracks artist="%s">' % attribute(artist)]
    reach = top_reach
    for title in titles:
        lines += ["  <track>", "    <name>%s</name>" % escape(title),
                  "    <reach>%d</reach>" % reach, "  </track>"]
        reach = int(reach * rng.uniform(0.72, 0.95))
    lines.append("</mostknowntracks>")
    return "\n".join(lines) + "\n"


def similar_xml(artist, similar):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<similarartists artist="%s">' % attribute(artist)]
    for name, match in similar:
        lines += ["  <artist>", "    <name>%s</name>" % escape(name),
                  "    <match>%s</match>" % match, "  </artist>"]
    lines.append("</similarartists>")
    return "\n".join(lines) + "\n"


def main():
    tracks, by_path = build_library()
    lines = ["  " + json.dumps(track, ensure_ascii=False) for track in tracks]
    write_text(os.path.join(HERE, "library.json"), '{"tracks": [\n' + ",\n".join(lines) + "\n]}\n")

    feeds = os.path.join(HERE, "feeds")
    shutil.rmtree(feeds, ignore_errors=True)
    for artist, (top_reach, titles) in CHARTS.items():
        folder = os.path.join(feeds, encode_artist(artist))
        write_text(os.path.join(folder, "toptracks.xml"), top_tracks_xml(artist, top_reach, titles))
        write_text(os.path.join(folder, "similar.xml"), similar_xml(artist, SIMILAR[artist]))
    for artist in UNKNOWN_TO_SERVICE:
        folder = os.path.join(feeds, encode_artist(artist))
        write_text(os.path.join(folder, "toptracks.xml.status"), "404\n")
        write_text(os.path.join(folder, "similar.xml.status"), "404\n")

    name, paths = PLAYLIST
    missing = [path for path in paths if path not in by_path]
    if missing:
        raise SystemExit("playlist paths not in the library: %s" % missing)
    write_text(os.path.join(HERE, "playlists", name + ".m3u8"), "#EXTM3U\n" + "\n".join(paths) + "\n")
    print("%d tracks, %d artists with feeds" % (len(tracks), len(CHARTS)))


if __name__ == "__main__":
    main()
