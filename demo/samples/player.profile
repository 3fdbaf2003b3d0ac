DRELK-PROFILE
name=Ada
difficulty=hard
subtitles=on
playtime=41h
