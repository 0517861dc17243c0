<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" tiledversion="1.8.2" name="fx.pac" tilewidth="8" tileheight="8" tilecount="2" columns="2">
 <image source="fx.tiles.png" width="16" height="8"/>
 <tile id="0">
  <properties>
   <property name="Param1" type="int" value="0"/>
   <property name="Param2" type="int" value="0"/>
   <property name="Param3_1" type="int" value="0"/>
   <property name="Param3_2" type="int" value="0"/>
   <property name="Param3_3" type="int" value="0"/>
   <property name="Param3_4" type="int" value="0"/>
   <property name="Param4" type="int" value="0"/>
   <property name="name" value="grass"/>
  </properties>
 </tile>
 <tile id="1">
  <properties>
   <property name="Param1" type="int" value="0"/>
   <property name="Param2" type="int" value="0"/>
   <property name="Param3_1" type="int" value="0"/>
   <property name="Param3_2" type="int" value="0"/>
   <property name="Param3_3" type="int" value="0"/>
   <property name="Param3_4" type="int" value="0"/>
   <property name="Param4" type="int" value="0"/>
   <property name="name" value="water"/>
  </properties>
 </tile>
</tileset>
